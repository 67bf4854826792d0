import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import { ContentType, MsgType, decode, encodeChat, encodeEvent, encodePush, makeMessageId } from '../lib/protocol.mjs';
import * as h from './helpers.mjs';

let s;
const open = [];
before(async () => { s = await h.startServer(); });
after(async () => {
    for (const c of open) c.end(true);
    await s.stop();
});

async function session(account, deviceId) {
    return (await h.login(s, account, h.PASSWORD, { deviceId })).session;
}
async function connect(sess, opts) {
    const c = await h.sessionMqtt(s, sess, opts);
    open.push(c);
    return c;
}
const chat = (sess, text, { time = 1, contentType = ContentType.TEXT, id } = {}) =>
    encodeChat({ time, contentType, senderId: sess.userId, messageId: id || makeMessageId(sess.clientId), contents: text });
const got = (c, pred, what) => h.waitFor(() => c.received.find((m) => pred(m, decode(m.payload))), { what });
const roomOf = async (userIds, type = 30) => s.control('POST', '/control/room', { userId: userIds[0], members: userIds.slice(1), roomType: type, notify: false });
// Two sessions in a room of theirs (with more members when given), both connected.
async function twoInARoom(accountA, accountB, more = []) {
    const a = await session(accountA), b = await session(accountB);
    const room = await roomOf([a.userId, b.userId, ...more]);
    const ca = await connect(a), cb = await connect(b);
    await h.sleep(200);
    return { a, b, room, topic: `chat/${room.chattRoomId}`, ca, cb };
}

test('broker login: client id, user id and access key of a live session; MQTT 3.1 and 3.1.1', async () => {
    const a = await session('user011');
    const v4 = await connect(a);
    assert.ok(v4.connected);
    v4.end(true);
    const v3 = await connect(a, { protocolVersion: 3 });
    assert.ok(v3.connected);
    v3.end(true);
    const bad = [
        { clientId: a.clientId, username: String(a.userId), password: 'wrong' },
        { clientId: a.clientId, username: '1001', password: a.accessKey },
        { clientId: 'pc999-unknown', username: String(a.userId), password: a.accessKey },
        { clientId: a.clientId, username: String(a.userId) },
    ];
    for (const opts of bad) await assert.rejects(h.mqttConnect(s, opts), /Bad username or password|Not authorized|closed/, JSON.stringify(opts));
    await s.control('POST', '/control/session/end', { accessKey: a.accessKey });
    await assert.rejects(h.mqttConnect(s, { clientId: a.clientId, username: String(a.userId), password: a.accessKey }), /Not authorized|closed/);
});

test('the server subscribes sessions to their rooms; CHAT is echoed to every member with the server time', async () => {
    const { a, room, topic, ca, cb } = await twoInARoom('user001', 'user002', [1003]);
    const before = Date.now();
    const payload = chat(a, '안녕 hello', { time: 5 });
    await h.publish(ca, topic, payload);
    const echo = await got(ca, (m, d) => m.topic === topic && d?.type === MsgType.CHAT, 'echo to the sender');
    const other = await got(cb, (m, d) => m.topic === topic && d?.type === MsgType.CHAT, 'delivery to the other member');
    const d = decode(echo.payload);
    assert.ok(d.time >= before && d.time <= Date.now(), 'bytes 0-7 carry the server time');
    assert.deepEqual(echo.payload.subarray(8), payload.subarray(8), 'everything after the time is as sent');
    assert.deepEqual(other.payload, echo.payload);
    const hist = await s.control('GET', `/control/history/${room.chattRoomId}`);
    assert.equal(hist.at(-1).messageId, d.messageId);
    assert.equal(hist.at(-1).timestamp, d.time);
    assert.equal(hist.at(-1).contents, '안녕 hello');
});

test('read events, INVITE and ADMISSION are relayed unchanged; refresh texts are not kept', async () => {
    const { a, room, topic, ca, cb } = await twoInARoom('user001', 'user002');
    for (const [type, contents] of [[MsgType.ENTERREAD, JSON.stringify({ clientId: a.clientId, readTime: 123 })],
        [MsgType.LEAVEREAD, a.clientId], [MsgType.HEREREAD, a.clientId], [MsgType.INVITE, '{"chatRoomInfo":{}}'],
        [MsgType.ADMISSION, '{"inviteUserIds":["1003"],"chatRoomInfo":{}}']]) {
        const p = encodeEvent({ time: 77, type, senderId: a.userId, messageId: makeMessageId(a.clientId), contents });
        await h.publish(ca, topic, p);
        const m = await got(cb, (x) => x.payload.equals(p), `type ${type}`);
        assert.equal(m.topic, topic);
    }
    await h.publish(ca, topic, chat(a, '!*refresh*!'));
    await got(cb, (m, d) => d?.contents === '!*refresh*!', 'refresh relayed');
    assert.equal((await s.control('GET', `/control/history/${room.chattRoomId}`)).length, 0);
});

test('publishing outside one\'s rooms, in another\'s name or a server type is dropped; the connection stays', async () => {
    const a = await session('user012'), b = await session('user013');
    const theirs = await roomOf([b.userId, 1014]);
    const mine = await roomOf([a.userId, b.userId]);
    const ca = await connect(a), cb = await connect(b);
    await h.sleep(200);
    const bad = [
        [`chat/${theirs.chattRoomId}`, chat(a, 'intruder')],
        [`chat/${mine.chattRoomId}`, encodeChat({ time: 1, contentType: 1, senderId: b.userId, messageId: 'x-y-1', contents: 'forged' })],
        [`chat/${mine.chattRoomId}`, encodePush({ time: 1, senderId: a.userId, contents: '{"type":90}' })],
        [`chat/${mine.chattRoomId}`, chat(a, 'bad content type', { contentType: 9 })],
        [`chat/${mine.chattRoomId}`, Buffer.from('short')],
        ['other/topic', chat(a, 'elsewhere')],
    ];
    for (const [topic, p] of bad) await h.publish(ca, topic, p);
    await h.publish(ca, `chat/${mine.chattRoomId}`, chat(a, 'fine'));
    await got(cb, (m, d) => d?.contents === 'fine', 'the allowed message');
    await h.sleep(200);
    assert.equal(cb.received.length, 1, 'nothing else reached the other member');
    assert.ok(ca.connected);
    assert.equal((await s.control('GET', `/control/history/${theirs.chattRoomId}`)).length, 0);
    // Subscribing by itself to a foreign room is refused too.
    const refusal = await new Promise((resolve) => ca.subscribe(`chat/${theirs.chattRoomId}`, { qos: 1 }, (e) => resolve(e)));
    assert.equal(refusal?.packet?.granted?.[0], 128);
});

test('offline delivery: QoS 1 messages wait for a persistent session', async () => {
    const a = await session('user001'), b = await session('user003');
    const room = await roomOf([a.userId, b.userId]);
    const topic = `chat/${room.chattRoomId}`;
    const cb1 = await connect(b);
    cb1.end(true);
    await h.sleep(200);
    const ca = await connect(a);
    for (let i = 0; i < 5; i++) await h.publish(ca, topic, chat(a, `while away ${i}`));
    await s.control('POST', '/control/chat', { roomId: room.chattRoomId, userId: 1004, text: 'from control' });
    const cb2 = await connect(b);
    await h.waitFor(() => cb2.received.length >= 6, { what: 'queued messages' });
    assert.deepEqual(cb2.received.map((m) => decode(m.payload).contents), [0, 1, 2, 3, 4].map((i) => `while away ${i}`).concat('from control'));
});

test('a session logged in but never connected still gets what was sent meanwhile', async () => {
    const a = await session('user001');
    const b = await session('user005', 'fresh-device');
    const room = await roomOf([a.userId, b.userId]);
    await s.control('POST', '/control/chat', { roomId: room.chattRoomId, userId: a.userId, text: 'before first connect' });
    const cb = await connect(b);
    await got(cb, (m, d) => d?.contents === 'before first connect', 'queued message');
});

test('subscriptions follow room creation, invitation and leaving (REST and LEAVE message)', async () => {
    const a = await session('user001'), c = await session('user006');
    const ca = await connect(a), cc = await connect(c);
    const created = (await a.api('POST', '/rest/chatt/room', { form: { members: [1004], userId: a.userId, roomType: 30 } })).json;
    const topic = `chat/${created.chattRoomId}`;
    await h.publish(ca, topic, chat(a, 'before invite'));
    await got(ca, (m, d) => d?.contents === 'before invite', 'own echo');
    await a.api('POST', '/rest/chatt/room/member', { form: { userId: a.userId, roomId: created.chattRoomId, members: [c.userId] } });
    await h.publish(ca, topic, chat(a, 'after invite'));
    await got(cc, (m, d) => d?.contents === 'after invite', 'the invited member hears the room');
    assert.ok(!cc.received.some((m) => decode(m.payload)?.contents === 'before invite'));

    const leave = encodeEvent({ time: 1, type: MsgType.LEAVE, senderId: c.userId, messageId: makeMessageId(c.clientId),
        contents: JSON.stringify({ chatRoomType: 30 }) });
    const c2 = await session('user006', `dev-user006`);
    assert.equal(c2.clientId, c.clientId);
    await h.publish(cc, topic, leave);
    await got(ca, (m) => m.payload.equals(leave), 'the others hear the LEAVE');
    await got(cc, (m) => m.payload.equals(leave), 'the leaver\'s own sessions hear it too');
    await h.waitFor(async () => !(await s.control('GET', `/control/rooms?userId=${c.userId}`)).some((r) => r.chattRoomId === created.chattRoomId),
        { what: 'member removed' });
    const n = cc.received.length;
    await h.publish(ca, topic, chat(a, 'after leave'));
    await got(ca, (m, d) => d?.contents === 'after leave', 'own echo');
    await h.sleep(200);
    assert.equal(cc.received.length, n, 'the leaver hears nothing more');
    assert.equal((await c.api('DELETE', `/rest/chatt/room/member/${c.userId}/${created.chattRoomId}/30`)).json.status, 200);
});

test('PUSH 61, 63 and 90 with their JSON contents; group subscriptions follow', async () => {
    const a = await session('user001'), b = await session('user007');
    const ca = await connect(a), cb = await connect(b);
    const g = await s.control('POST', '/control/group', { grpName: 'Push group', members: [a.userId] });
    const topic = `chat/${g.chattRoomId}`;
    await got(ca, (m, d) => d?.type === MsgType.PUSH && m.topic === topic, 'PUSH 61 for the creator');
    await s.control('POST', '/control/group/member', { grpId: g.grpId, userId: b.userId, leaderType: '1' });
    const p61 = await got(cb, (m, d) => d?.type === MsgType.PUSH && m.topic === topic, 'PUSH 61 for the new member');
    const d61 = decode(p61.payload);
    assert.equal(d61.senderId, 0);
    const j61 = JSON.parse(d61.contents);
    assert.equal(j61.type, 61);
    assert.deepEqual(Object.keys(j61.contents).sort(), ['grpId', 'grpName', 'leaderType', 'mbrStatus', 'user', 'userId']);
    assert.equal(j61.contents.leaderType, '1');
    assert.equal(j61.contents.user.appInstallYn, 'Y');
    await s.control('POST', '/control/chat', { roomId: g.chattRoomId, userId: a.userId, text: 'group hello' });
    await got(cb, (m, d) => d?.contents === 'group hello', 'the new member hears the group room');

    await s.control('POST', '/control/group/member/remove', { grpId: g.grpId, userId: b.userId });
    const p63 = await got(cb, (m, d) => d?.type === MsgType.PUSH && JSON.parse(d.contents).type === 63, 'PUSH 63 to the leaving member');
    assert.equal(JSON.parse(decode(p63.payload).contents).contents.userId, b.userId);
    await got(ca, (m, d) => d?.type === MsgType.PUSH && JSON.parse(d.contents).type === 63, 'PUSH 63 to the others');
    const n = cb.received.length;
    await s.control('POST', '/control/chat', { roomId: g.chattRoomId, userId: a.userId, text: 'after 63' });
    await got(ca, (m, d) => d?.contents === 'after 63', 'echo');
    await h.sleep(150);
    assert.equal(cb.received.length, n);

    await s.control('POST', '/control/group/remove', { grpId: g.grpId });
    const p90 = await got(ca, (m, d) => d?.type === MsgType.PUSH && JSON.parse(d.contents).type === 90, 'PUSH 90');
    const j90 = JSON.parse(decode(p90.payload).contents);
    assert.equal(j90.contents.grpId, g.grpId);
    assert.equal(j90.contents.senderId, 0);
    assert.ok(!(await s.control('GET', `/control/rooms?userId=${a.userId}`)).some((r) => r.chattRoomId === g.chattRoomId));
});

test('control: read events and a forced LOGOUT reach the sessions with their layouts', async () => {
    const a = await session('user001'), b = await session('user008');
    const room = await roomOf([a.userId, b.userId], 20);
    const ca = await connect(a);
    await s.control('POST', '/control/read', { roomId: room.chattRoomId, userId: b.userId, type: 'enter', readTime: 1234 });
    const er = await got(ca, (m, d) => d?.type === MsgType.ENTERREAD, 'ENTERREAD');
    const d = decode(er.payload);
    assert.equal(d.senderId, b.userId);
    assert.deepEqual(Object.keys(JSON.parse(d.contents)).sort(), ['clientId', 'readTime']);
    assert.equal(JSON.parse(d.contents).readTime, 1234);
    await s.control('POST', '/control/read', { roomId: room.chattRoomId, userId: b.userId, type: 'leave', clientId: 'pc1-abc' });
    assert.equal(decode((await got(ca, (m, x) => x?.type === MsgType.LEAVEREAD, 'LEAVEREAD')).payload).contents, 'pc1-abc');
    const res = await s.control('POST', '/control/logout', { userId: a.userId });
    assert.ok(res.notified >= 1);
    const lo = await got(ca, (m, x) => x?.type === MsgType.LOGOUT, 'LOGOUT');
    assert.equal(lo.payload.length, 9);
    assert.equal((await a.api('GET', '/rest/auth/ping')).status, 200, 'the notice alone does not end the session');
});

test('history paging from a late attachment (id made long before its echo) loses no chat', async () => {
    const { a, b, room, topic, ca, cb } = await twoInARoom('user001', 'user002');
    const idMadeAt = Date.now() - 60000; // the upload started a minute ago
    for (const text of ['b1', 'b2', 'b3']) await h.publish(cb, topic, chat(b, text));
    const lateId = `${a.clientId}-${idMadeAt}0001`;
    await h.publish(ca, topic, chat(a, '{"file_name":"big.zip","file_size":1,"remote_path_url":"/files/x.zip"}', { contentType: ContentType.FILE, id: lateId }));
    await got(ca, (m, d) => d?.messageId === lateId, 'echo of the late attachment');
    // The client holds only the attachment and pages back from the time inside its id.
    const page = await a.api('GET', `/rest/chatt/room/savechatlist/${room.chattRoomId}/${idMadeAt}/1/50`);
    assert.deepEqual(page.json.list.map((c) => c.contents), ['b3', 'b2', 'b1']);
});
