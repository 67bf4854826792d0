import assert from 'node:assert/strict';
import { after, test } from 'node:test';
import { decode } from '../lib/protocol.mjs';
import * as h from './helpers.mjs';

const s = await h.startServer();
after(() => s.stop());

const sessionOf = async (clientId) => (await s.control('GET', '/control/sessions')).find((x) => x.clientId === clientId);
const state = (x) => ({ ended: x.ended?.code ?? null, connected: x.connected, rotate: x.rotate, retired: x.retired });
const closed = (client) => new Promise((resolve) => client.once('close', resolve));

test('rotated keys: the next login of the device gets a new session, the old one stays valid and connected', async (t) => {
    const first = (await h.login(s, 'user003', h.PASSWORD, { deviceId: 'pc-3' })).session;
    const mq = await h.sessionMqtt(s, first);
    t.after(() => mq.end(true));
    const rotated = await s.control('POST', '/control/session/rotate', { clientId: first.clientId });
    const second = (await h.login(s, 'user003', h.PASSWORD, { deviceId: 'pc-3' })).session;
    const third = (await h.login(s, 'user003', h.PASSWORD, { deviceId: 'pc-3' })).session;
    const pings = [(await first.api('GET', '/rest/auth/ping')).status, (await second.api('GET', '/rest/auth/ping')).status];
    assert.deepEqual({
        rotated: rotated.sessions,
        newKeys: [second.accessKey !== first.accessKey, second.clientId !== first.clientId],
        thirdKeepsSecond: [third.accessKey, third.clientId],
        pings,
        old: state(await sessionOf(first.clientId)),
        current: state(await sessionOf(second.clientId)),
    }, {
        rotated: 1,
        newKeys: [true, true],
        thirdKeepsSecond: [second.accessKey, second.clientId],
        pings: [200, 200],
        old: { ended: null, connected: true, rotate: false, retired: true },
        current: { ended: null, connected: false, rotate: false, retired: false },
    });
});

test('rotated keys: what was still queued for the old session comes on the new one', async () => {
    const first = (await h.login(s, 'user007', h.PASSWORD, { deviceId: 'pc-7' })).session;
    const mq = await h.sessionMqtt(s, first);
    const gone = closed(mq);
    mq.end(true);
    await gone;
    const [room] = await s.control('GET', `/control/rooms?userId=${first.userId}`);
    await s.control('POST', '/control/chat', { roomId: room.chattRoomId, userId: first.userId, text: 'before the rotation' });
    await s.control('POST', '/control/session/rotate', { clientId: first.clientId });
    const second = (await h.login(s, 'user007', h.PASSWORD, { deviceId: 'pc-7' })).session;
    const mq2 = await h.sessionMqtt(s, second);
    const queued = await h.waitFor(() => mq2.received.map((m) => decode(m.payload)).find((d) => d.contents === 'before the rotation'), { what: 'the queued chat' });
    mq2.end(true);
    assert.deepEqual([second.clientId !== first.clientId, queued.senderId], [true, first.userId]);
});

test('a broker drop closes the connection only: the session stays, a reconnect gets what was queued', async () => {
    const me = (await h.login(s, 'user004')).session;
    const mq = await h.sessionMqtt(s, me);
    const gone = closed(mq);
    const drop = await s.control('POST', '/control/broker/drop', { userId: me.userId });
    await gone;
    const [room] = await s.control('GET', `/control/rooms?userId=${me.userId}`);
    await s.control('POST', '/control/chat', { roomId: room.chattRoomId, userId: me.userId, text: 'while away' });
    const after = await sessionOf(me.clientId);
    const ping = await me.api('GET', '/rest/auth/ping');
    const again = await h.sessionMqtt(s, me);
    const queued = await h.waitFor(() => again.received.map((m) => decode(m.payload)).find((d) => d.contents === 'while away'), { what: 'queued chat' });
    again.end(true);
    assert.deepEqual([drop.dropped, state(after), ping.status, queued.senderId],
        [1, { ended: null, connected: false, rotate: false, retired: false }, 200, me.userId]);
});
