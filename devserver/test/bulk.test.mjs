import assert from 'node:assert/strict';
import { after, test } from 'node:test';
import { MsgType, decode } from '../lib/protocol.mjs';
import * as h from './helpers.mjs';

const s = await h.startServer();
after(() => s.stop());

const chatsOf = (client) => client.received.map((m) => ({ topic: m.topic, d: decode(m.payload) })).filter((x) => x.d?.type === MsgType.CHAT);
const perTopic = (list) => list.reduce((acc, x) => ({ ...acc, [x.topic]: (acc[x.topic] ?? 0) + 1 }), {});
// A chat posted as a sentinel: once it arrives, everything sent before it has arrived too.
async function sentinel(client, roomId, userId) {
    const { messageId } = await s.control('POST', '/control/chat', { roomId, userId, text: 'sentinel' });
    await h.waitFor(() => chatsOf(client).some((x) => x.d.messageId === messageId), { what: 'the sentinel' });
}

test('a bulk of 1,000 rooms and 3,000 chats: listed for the account, kept, delivered once to each session at its connect', async (t) => {
    const made = await s.control('POST', '/control/bulk', { account: 'user007', rooms: 1000, chats: 3000, contentTypes: [1, 2, 4] });
    const me = (await h.login(s, 'user007')).session;
    const listed = (await me.api('GET', `/rest/chatt/room/${me.userId}`)).json.list.map((r) => r.chattRoomId);
    const kept = new Map((await s.control('GET', `/control/rooms?userId=${me.userId}`)).map((r) => [r.chattRoomId, r.chats]));
    const types = new Set(made.rooms.map((r) => r.roomType));
    assert.deepEqual({
        rooms: made.rooms.length,
        allListed: made.rooms.every((r) => listed.includes(r.roomId)),
        kept: made.rooms.map((r) => kept.get(r.roomId)),
        unread: made.rooms.reduce((n, r) => n + r.unread, 0),
        types: [...types].sort(),
    }, { rooms: 1000, allListed: true, kept: made.rooms.map(() => 3), unread: 3000, types: [20, 30] });

    const first = await h.sessionMqtt(s, me);
    t.after(() => first.end(true));
    const anyRoom = made.rooms[0];
    await h.waitFor(() => chatsOf(first).length >= 3000, { what: 'the bulk chats', timeout: 20000 });
    await sentinel(first, anyRoom.roomId, anyRoom.memberIds[1]);
    const got = chatsOf(first).filter((x) => x.d.contents !== 'sentinel');
    const expected = Object.fromEntries(made.rooms.map((r) => [r.topic, r.unread]));
    assert.deepEqual([got.length, perTopic(got)], [3000, expected]);
    assert.deepEqual(got.map((x) => x.d.contentType).slice(0, 3), [1, 2, 4]);

    // The same session connecting again gets nothing twice.
    await s.control('POST', '/control/broker/drop', { clientId: me.clientId });
    await h.waitFor(async () => !(await s.control('GET', `/control/sessions?userId=${me.userId}`))[0].connected, { what: 'drop' });
    const again = await h.sessionMqtt(s, me);
    t.after(() => again.end(true));
    await sentinel(again, anyRoom.roomId, anyRoom.memberIds[1]);
    // (The first sentinel may come again: its acknowledgement can be lost in the drop.)
    assert.deepEqual(chatsOf(again).map((x) => x.d.contents).filter((c) => c.startsWith('Bulk')), []);
});

test('a session already connected gets a bulk at once; deliver:false only keeps the chats', async (t) => {
    const me = (await h.login(s, 'user008')).session;
    const c = await h.sessionMqtt(s, me);
    t.after(() => c.end(true));
    const kept = await s.control('POST', '/control/bulk', { userId: me.userId, rooms: 5, chats: 10, deliver: false });
    const made = await s.control('POST', '/control/bulk', { userId: me.userId, rooms: 4, chats: 8 });
    await sentinel(c, made.rooms[0].roomId, made.rooms[0].memberIds[1]);
    const got = chatsOf(c).filter((x) => x.d.contents !== 'sentinel');
    const keptTopics = new Set(kept.rooms.map((r) => r.topic));
    assert.deepEqual([got.length, got.some((x) => keptTopics.has(x.topic)), perTopic(got)],
        [8, false, Object.fromEntries(made.rooms.map((r) => [r.topic, 2]))]);
});

test('history appended to a room: kept in time order, paged by the REST side, never published', async (t) => {
    const me = (await h.login(s, 'user002')).session;
    const c = await h.sessionMqtt(s, me);
    t.after(() => c.end(true));
    const [room] = (await s.control('GET', `/control/rooms?userId=${me.userId}`)).filter((r) => r.memberIds.includes(1001) && r.chattRoomType === '20');
    const added = await s.control('POST', '/control/history', { roomId: room.chattRoomId, count: 12000, senders: [1001, 1002], contentTypes: [1, 1, 1, 2] });
    const early = await s.control('POST', '/control/history', { roomId: room.chattRoomId, count: 3, startTime: 1000, text: 'Early' });
    const label = (c) => `${c.contentType}:${c.contents.slice(0, 20)}`;
    const page = (p) => me.api('GET', `/rest/chatt/room/savechatlist/${room.chattRoomId}/${p}`);
    const newest = (await page('0/1/50')).json.list;
    const idTime = newest.at(-1).messageId.split('-')[2].slice(0, 13);
    const next = (await page(`${idTime}/1/50`)).json.list;
    const all = await s.control('GET', `/control/history/${room.chattRoomId}?n=100000`);
    await sentinel(c, room.chattRoomId, 1001);
    assert.deepEqual({
        added: [added.added, added.total, early.total],
        newest: [newest.length, label(newest[0]), newest[0].senderId, label(newest[49])],
        next: [label(next[0]), label(next[49])],
        oldest: all.slice(0, 3).map((x) => x.contents),
        ordered: all.every((x, i) => i === 0 || all[i - 1].timestamp <= x.timestamp),
        published: chatsOf(c).map((x) => x.d.contents),
    }, {
        added: [12000, room.chats + 12000, room.chats + 12003],
        newest: [50, '2:{"width":480,"height', 1002, '1:History chat 11951'],
        next: ['1:History chat 11950', '1:History chat 11901'],
        oldest: ['Early 1', 'Early 2', 'Early 3'],
        ordered: true,
        published: ['sentinel'],
    });
});

test('a chat kept again under the same id replaces the earlier one', async () => {
    const [room] = await s.control('GET', '/control/rooms?userId=1004');
    const post = (text) => s.control('POST', '/control/chat', { roomId: room.chattRoomId, userId: 1004, text, messageId: 'pc1004-x-17000000000000001' });
    await post('first');
    await s.control('POST', '/control/chat', { roomId: room.chattRoomId, userId: 1004, text: 'between' });
    await post('again');
    const tail = (await s.control('GET', `/control/history/${room.chattRoomId}?n=3`)).map((x) => x.contents);
    assert.deepEqual(tail.slice(-2), ['between', 'again']);
});

test('chats posted in one batch: published and kept in order; a chat without its room refuses the batch', async (t) => {
    const me = (await h.login(s, 'user005')).session;
    const c = await h.sessionMqtt(s, me);
    t.after(() => c.end(true));
    const [room] = (await s.control('GET', `/control/rooms?userId=${me.userId}`)).filter((r) => r.memberIds.length > 1);
    const peer = room.memberIds.find((id) => id !== me.userId);
    const batch = ['one', 'two', 'three'].map((text) => ({ roomId: room.chattRoomId, userId: peer, text }));
    const posted = await s.control('POST', '/control/chats', { chats: batch });
    await assert.rejects(s.control('POST', '/control/chats', { chats: [{ userId: peer, text: 'nowhere' }] }), /40001/);
    await sentinel(c, room.chattRoomId, peer);
    const kept = (await s.control('GET', `/control/history/${room.chattRoomId}?n=4`)).map((x) => x.messageId);
    assert.deepEqual({
        published: chatsOf(c).map((x) => x.d.contents),
        kept: kept.slice(0, 3),
    }, { published: ['one', 'two', 'three', 'sentinel'], kept: posted.messageIds });
});
