import assert from 'node:assert/strict';
import { after, test } from 'node:test';
import { ContentType, MsgType, decode, encodeChat, encodeEvent, encodePush, makeMessageId } from '../lib/protocol.mjs';
import * as h from './helpers.mjs';

const s = await h.startServer();
const open = [];
after(() => { open.forEach((c) => c.end(true)); return s.stop(); });

const session = async (account, deviceId) => (await h.login(s, account, h.PASSWORD, { deviceId })).session;
const connect = async (sess, opts) => { const c = await h.sessionMqtt(s, sess, opts); open.push(c); return c; };
const chat = (sess, text, { contentType = ContentType.TEXT, id } = {}) =>
    encodeChat({ time: 1, contentType, senderId: sess.userId, messageId: id || makeMessageId(sess.clientId), contents: text });
const got = (c, pred, what) => h.waitFor(() => c.received.find((m) => pred(m, decode(m.payload))), { what });
const text = (c, contents) => got(c, (m, d) => d?.contents === contents, contents);
const pushOf = (c, type) => got(c, (m, d) => d?.type === MsgType.PUSH && JSON.parse(d.contents).type === type, `PUSH ${type}`);
const roomOf = (userIds, type = 30) => s.control('POST', '/control/room', { userId: userIds[0], members: userIds.slice(1), roomType: type, notify: false });
const history = async (room) => s.control('GET', `/control/history/${room.chattRoomId}`);
const inRoom = async (user, roomId) => (await s.control('GET', `/control/rooms?userId=${user.userId}`)).some((r) => r.chattRoomId === roomId);
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
    for (const protocolVersion of [4, 3]) (await connect(a, { protocolVersion })).end(true);
    for (const opts of [{ password: 'wrong' }, { username: '1001' }, { clientId: 'pc999-unknown' }, { password: undefined }]) await assert.rejects(h.sessionMqtt(s, a, opts), /Bad username or password|Not authorized|closed/, JSON.stringify(opts));
    await s.control('POST', '/control/session/end', { accessKey: a.accessKey });
    await assert.rejects(h.sessionMqtt(s, a), /Not authorized|closed/);
});

test('the server subscribes sessions to their rooms; CHAT is echoed to every member with the server time and kept', async () => {
    const { a, b, room, topic, ca, cb } = await twoInARoom('user001', 'user002', [1003]);
    const before = Date.now();
    const payload = chat(a, '안녕 hello');
    await h.publish(ca, topic, payload);
    const echo = await got(ca, (m, d) => m.topic === topic && d?.type === MsgType.CHAT, 'echo to the sender');
    const other = await got(cb, (m, d) => m.topic === topic && d?.type === MsgType.CHAT, 'delivery to the other member');
    const d = decode(echo.payload);
    assert.ok(d.time >= before && d.time <= Date.now(), 'bytes 0-7 carry the server time');
    assert.deepEqual(echo.payload.subarray(8), payload.subarray(8), 'everything after the time is as sent');
    assert.deepEqual(other.payload, echo.payload);
    const kept = (await history(room)).at(-1);
    assert.deepEqual([kept.messageId, kept.timestamp, kept.contents], [d.messageId, d.time, '안녕 hello']);

    // A late attachment (its id made a minute before its echo): paging back from the time inside
    // its id, as the client does when it holds only that one, loses no chat.
    const idMadeAt = Date.now() - 60000;
    for (const t of ['b1', 'b2', 'b3']) await h.publish(cb, topic, chat(b, t));
    const lateId = `${a.clientId}-${idMadeAt}0001`;
    await h.publish(ca, topic, chat(a, '{"file_name":"big.zip","file_size":1,"remote_path_url":"/files/x.zip"}', { contentType: ContentType.FILE, id: lateId }));
    await got(ca, (m, d) => d?.messageId === lateId, 'echo of the late attachment');
    const page = await a.api('GET', `/rest/chatt/room/savechatlist/${room.chattRoomId}/${idMadeAt}/1/50`);
    assert.deepEqual(page.json.list.map((c) => c.contents), ['b3', 'b2', 'b1', '안녕 hello']);
});

test('read events, INVITE and ADMISSION are relayed unchanged, refresh texts not kept; control read events and LOGOUT', async () => {
    const { a, b, room, topic, ca, cb } = await twoInARoom('user001', 'user008');
    for (const [type, contents] of [[MsgType.ENTERREAD, JSON.stringify({ clientId: a.clientId, readTime: 123 })],
        [MsgType.LEAVEREAD, a.clientId], [MsgType.HEREREAD, a.clientId], [MsgType.INVITE, '{"chatRoomInfo":{}}'],
        [MsgType.ADMISSION, '{"inviteUserIds":["1003"],"chatRoomInfo":{}}']]) {
        const p = encodeEvent({ time: 77, type, senderId: a.userId, messageId: makeMessageId(a.clientId), contents });
        await h.publish(ca, topic, p);
        assert.equal((await got(cb, (x) => x.payload.equals(p), `type ${type}`)).topic, topic);
    }
    await h.publish(ca, topic, chat(a, '!*refresh*!'));
    await text(cb, '!*refresh*!');
    assert.equal((await history(room)).length, 0);

    const event = async (type) => decode((await got(ca, (m, x) => x?.type === type && x.senderId === b.userId, `type ${type}`)).payload);
    await s.control('POST', '/control/read', { roomId: room.chattRoomId, userId: b.userId, type: 'enter', readTime: 1234 });
    const j = JSON.parse((await event(MsgType.ENTERREAD)).contents);
    assert.deepEqual([Object.keys(j).sort(), j.readTime], [['clientId', 'readTime'], 1234]);
    await s.control('POST', '/control/read', { roomId: room.chattRoomId, userId: b.userId, type: 'leave', clientId: 'pc1-abc' });
    assert.equal((await event(MsgType.LEAVEREAD)).contents, 'pc1-abc');
    assert.ok((await s.control('POST', '/control/logout', { userId: a.userId })).notified >= 1);
    assert.equal((await got(ca, (m, x) => x?.type === MsgType.LOGOUT, 'LOGOUT')).payload.length, 9);
    assert.equal((await a.api('GET', '/rest/auth/ping')).status, 200, 'the notice alone does not end the session');
});

test('publishing outside one\'s rooms, in another\'s name or a server type is dropped; the connection stays', async () => {
    const { a, b, topic: mine, ca, cb } = await twoInARoom('user012', 'user013');
    const theirs = await roomOf([b.userId, 1014]);
    for (const [topic, p] of [
        [`chat/${theirs.chattRoomId}`, chat(a, 'intruder')],
        [mine, encodeChat({ time: 1, contentType: 1, senderId: b.userId, messageId: 'x-y-1', contents: 'forged' })],
        [mine, encodePush({ time: 1, senderId: a.userId, contents: '{"type":90}' })],
        [mine, chat(a, 'bad content type', { contentType: 9 })],
        [mine, Buffer.from('short')],
        ['other/topic', chat(a, 'elsewhere')],
    ]) await h.publish(ca, topic, p);
    // The sentinel: published last on the same connection.
    await h.publish(ca, mine, chat(a, 'fine'));
    await text(cb, 'fine');
    assert.equal(cb.received.length, 1, 'nothing else reached the other member, the connection stayed');
    assert.equal((await history(theirs)).length, 0);
    // Subscribing by itself to a foreign room is refused too.
    await assert.rejects(ca.subscribeAsync(`chat/${theirs.chattRoomId}`, { qos: 1 }), (e) => e.packet?.granted?.[0] === 128);
});

test('offline delivery: QoS 1 messages wait for a persistent session, also one that never connected; control chats', async () => {
    const a = await session('user001'), b = await session('user003'), never = await session('user005', 'fresh-device');
    const room = await roomOf([a.userId, b.userId, never.userId]);
    const topic = `chat/${room.chattRoomId}`;
    (await connect(b)).end(true);
    await h.sleep(200);
    const ca = await connect(a);
    for (let i = 0; i < 3; i++) await h.publish(ca, topic, chat(a, `while away ${i}`));
    // Text, picture and file in anyone's name, with files the client can fetch.
    const post = (body) => s.control('POST', '/control/chat', { roomId: room.chattRoomId, userId: 1004, ...body });
    await post({ text: 'from control' });
    const pic = await post({ contentType: 2 });
    const file = await post({ contentType: 4, fileName: 'a.txt', data: Buffer.from('file body').toString('base64') });
    await assert.rejects(post({ roomId: 999999, text: 'x' }), /40400/);
    let ds;
    for (const c of [await connect(b), await connect(never)]) {
        ds = await h.waitFor(() => c.received.length >= 6 && c.received.map((m) => decode(m.payload)), { what: 'queued messages' });
        assert.deepEqual(ds.map((d) => [d.senderId, d.contentType]), [[a.userId, 1], [a.userId, 1], [a.userId, 1], [1004, 1], [1004, 2], [1004, 4]]);
        assert.deepEqual(ds.slice(0, 4).map((d) => d.contents), ['while away 0', 'while away 1', 'while away 2', 'from control']);
    }
    const [img, f] = [JSON.parse(ds[4].contents), JSON.parse(ds[5].contents)];
    assert.equal(ds[4].messageId, pic.messageId);
    assert.equal((await s.api('GET', img.remote_thumb_url)).status, 200);
    assert.equal((await s.api('GET', f.remote_path_url)).body.toString(), 'file body');
    assert.equal(file.messageId.split('-')[2].slice(0, 13), String(file.timestamp));
});

test('subscriptions follow rooms created, joined and left (REST, LEAVE message) and groups (PUSH 61, 63 and 90 with their contents)', async () => {
    const a = await session('user001'), c = await session('user006');
    const shared = await roomOf([a.userId, c.userId]);
    const ca = await connect(a), cc = await connect(c);
    // A chat in the room reaches a but nothing more reaches c: a chat in a room of both, sent
    // after it, is the sentinel.
    const unheard = async (roomId, what) => {
        const n = cc.received.length;
        await s.control('POST', '/control/chat', { roomId, userId: a.userId, text: what });
        await text(ca, what);
        await s.control('POST', '/control/chat', { roomId: shared.chattRoomId, userId: a.userId, text: `after ${what}` });
        await text(cc, `after ${what}`);
        assert.equal(cc.received.length, n + 1, what);
    };
    const created = (await a.api('POST', '/rest/chatt/room', { form: { members: [1004], userId: a.userId, roomType: 30 } })).json;
    const topic = `chat/${created.chattRoomId}`;
    await a.api('POST', '/rest/chatt/room/member', { form: { userId: a.userId, roomId: created.chattRoomId, members: [c.userId] } });
    await h.publish(ca, topic, chat(a, 'after invite'));
    await text(cc, 'after invite');
    const leave = encodeEvent({ time: 1, type: MsgType.LEAVE, senderId: c.userId, messageId: makeMessageId(c.clientId),
        contents: JSON.stringify({ chatRoomType: 30 }) });
    await h.publish(cc, topic, leave);
    await got(ca, (m) => m.payload.equals(leave), 'the others hear the LEAVE');
    await got(cc, (m) => m.payload.equals(leave), 'the leaver\'s own sessions hear it too');
    await h.waitFor(async () => !(await inRoom(c, created.chattRoomId)), { what: 'member removed' });
    await unheard(created.chattRoomId, 'after leave');
    assert.equal((await c.api('DELETE', `/rest/chatt/room/member/${c.userId}/${created.chattRoomId}/30`)).json.status, 200);

    const g = await s.control('POST', '/control/group', { grpName: 'Push group', members: [a.userId] });
    await pushOf(ca, 61);
    await s.control('POST', '/control/group/member', { grpId: g.grpId, userId: c.userId, leaderType: '1' });
    const p61 = decode((await pushOf(cc, 61)).payload);
    const j61 = JSON.parse(p61.contents).contents;
    assert.deepEqual([p61.senderId, j61.leaderType, j61.user.appInstallYn], [0, '1', 'Y']);
    await s.control('POST', '/control/chat', { roomId: g.chattRoomId, userId: a.userId, text: 'group hello' });
    await text(cc, 'group hello');
    await s.control('POST', '/control/group/member/remove', { grpId: g.grpId, userId: c.userId });
    assert.equal(JSON.parse(decode((await pushOf(cc, 63)).payload).contents).contents.userId, c.userId);
    await pushOf(ca, 63);
    await unheard(g.chattRoomId, 'after 63');
    await s.control('POST', '/control/group/remove', { grpId: g.grpId });
    const j90 = JSON.parse(decode((await pushOf(ca, 90)).payload).contents).contents;
    assert.deepEqual([j90.grpId, j90.senderId], [g.grpId, 0]);
    assert.ok(!(await inRoom(a, g.chattRoomId)));
});
