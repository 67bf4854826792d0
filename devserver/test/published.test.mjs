import assert from 'node:assert/strict';
import { after, test } from 'node:test';
import { ContentType, MsgType, encodeChat, encodeEvent, encodePush, makeMessageId } from '../lib/protocol.mjs';
import * as h from './helpers.mjs';

const s = await h.startServer();
after(() => s.stop());

test('every client publish is recorded with its decoded head; the server\'s own are not', async (t) => {
    const me = (await h.login(s, 'user003')).session;
    const c = await h.sessionMqtt(s, me);
    t.after(() => c.end(true));
    const mine = (await s.control('GET', `/control/rooms?userId=${me.userId}`))[0];
    const foreign = (await s.control('GET', '/control/rooms?userId=1010')).find((r) => !r.memberIds.includes(me.userId));
    await s.control('DELETE', '/control/published');
    const id = (n) => `${me.clientId}-1790000000000000${n}`;
    const event = (type, n, contents) => encodeEvent({ time: 1, type, senderId: me.userId, messageId: id(n), contents });
    await h.publish(c, mine.topic, encodeChat({ time: 1, contentType: ContentType.TEXT, senderId: me.userId, messageId: id(1), contents: 'hi' }));
    await h.publish(c, mine.topic, event(MsgType.ENTERREAD, 2, JSON.stringify({ clientId: me.clientId, readTime: 5 })));
    await h.publish(c, mine.topic, encodePush({ time: 1, senderId: me.userId, contents: '{}' }));
    await h.publish(c, foreign.topic, event(MsgType.LEAVEREAD, 3, me.clientId));
    await s.control('POST', '/control/chat', { roomId: mine.chattRoomId, userId: me.userId, text: 'from the server' });
    await h.publish(c, mine.topic, event(MsgType.HEREREAD, 4, me.clientId));
    const all = await h.waitFor(async () => {
        const list = await s.control('GET', '/control/published?since=0');
        return list.some((e) => e.messageId === id(4)) && list;
    }, { what: 'the last publish in the record' });
    const row = (e) => [e.topic, e.clientId, e.senderId, e.type, e.messageId, e.contents, e.dropped];
    const base = [me.clientId, me.userId];
    assert.deepEqual(all.map(row), [
        [mine.topic, ...base, MsgType.CHAT, id(1), 'hi', null],
        [mine.topic, ...base, MsgType.ENTERREAD, id(2), `{"clientId":"${me.clientId}","readTime":5}`, null],
        [mine.topic, ...base, MsgType.PUSH, null, '{}', 'type 6 is the server\'s'],
        [foreign.topic, ...base, MsgType.LEAVEREAD, id(3), me.clientId, 'not a member'],
        [mine.topic, ...base, MsgType.HEREREAD, id(4), me.clientId, null],
    ]);
    const later = await s.control('GET', `/control/published?since=${all[3].seq}`);
    assert.deepEqual([later.map((e) => e.messageId), typeof all[0].time], [[id(4)], 'number']);
});
