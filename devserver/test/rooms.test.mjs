import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';
import * as h from './helpers.mjs';

let s, u1, u2;
before(async () => {
    s = await h.startServer();
    u1 = (await h.login(s, 'user001')).session;
    u2 = (await h.login(s, 'user002')).session;
});
after(async () => { await s.stop(); });

const refusing = async (field) => (await s.control('GET', '/control/users?n=400'))
    .find((u) => u[field] === '0' && u.state !== 'D' && (field !== 'chattingAllowYn' || u.appInstallYn === '1'));

test('room list: the keys the client reads, group rooms included, a left one-to-one room with leaveUserId', async () => {
    const res = await u1.api('GET', `/rest/chatt/room/${u1.userId}`);
    assert.equal(res.status, 200);
    const list = res.json.list;
    assert.ok(list.length >= 8);
    for (const r of list) {
        for (const k of ['chattRoomId', 'chattRoomType', 'openDatetime', 'updDatetime', 'members', 'grpId']) assert.ok(k in r, k);
    }
    const group = list.find((r) => r.chattRoomType === '10');
    assert.ok(group.grpId > 0);
    const one = list.find((r) => r.chattRoomType === '20' && r.members.length === 2);
    assert.ok(one.members.every((m) => typeof m.joinUserId === 'number' && m.user.userName));
    const left = list.find((r) => r.leaveUserId);
    assert.equal(left.chattRoomType, '20');
    assert.deepEqual(left.members.map((m) => m.joinUserId), [u1.userId]);
    assert.equal((await u1.api('GET', `/rest/chatt/room/${u2.userId}`)).json.code, 40300, 'only one\'s own list');
});

test('one room: unknown, not a member, bad id', async () => {
    const mine = (await u1.api('GET', `/rest/chatt/room/${u1.userId}`)).json.list[0];
    assert.equal((await u1.api('GET', `/rest/chatt/room/${u1.userId}/${mine.chattRoomId}`)).json.chattRoomId, mine.chattRoomId);
    assert.equal((await u1.api('GET', `/rest/chatt/room/${u1.userId}/999999`)).json.code, 40400);
    assert.equal((await u1.api('GET', `/rest/chatt/room/${u1.userId}/-1`)).json.code, 40400);
    const foreign = (await s.control('GET', '/control/rooms')).find((r) => !r.memberIds.includes(u1.userId));
    assert.equal((await u1.api('GET', `/rest/chatt/room/${u1.userId}/${foreign.chattRoomId}`)).json.code, 40301);
});

test('creating rooms', async () => {
    const create = (members, roomType, userId = u1.userId) => u1.api('POST', '/rest/chatt/room', { form: { members, userId, roomType } });
    const three = await create([1003, 1004, 1005], 30);
    assert.equal(three.status, 200);
    assert.equal(three.json.chattRoomType, '30');
    assert.deepEqual(three.json.members.map((m) => m.joinUserId).sort(), [1001, 1003, 1004, 1005]);
    const pair = await create([1006], 40);
    assert.equal(pair.json.chattRoomType, '20', 'type 40 is created as 20');
    assert.equal((await create([1006], 20)).json.chattRoomId, pair.json.chattRoomId, 'the pair\'s room is reused');
    const notInstalled = await refusing('appInstallYn');
    const declining = await refusing('chattingAllowYn');
    assert.equal((await create([1003, notInstalled.userId], 30)).json.code, 40005);
    assert.equal((await create([declining.userId], 20)).json.code, 40005);
    assert.equal((await create([], 30)).json.code, 40001);
    assert.equal((await create([1003, 1004], 20)).json.code, 40002);
    assert.equal((await create([1003], 50)).json.code, 40002);
    assert.equal((await create(['abc'], 30)).json.code, 40002);
    assert.equal((await create([999999], 30)).json.code, 40402);
    assert.equal((await create([1003], 30, 1002)).json.code, 40300);
    assert.equal((await u1.api('POST', '/rest/chatt/room', { form: { userId: u1.userId, roomType: 30 } })).json.code, 40001);
});

test('inviting and leaving', async () => {
    const room = (await u1.api('POST', '/rest/chatt/room', { form: { members: [1003], userId: u1.userId, roomType: 30 } })).json;
    const invite = (members, roomId = room.chattRoomId, who = u1) => who.api('POST', '/rest/chatt/room/member', { form: { userId: who.userId, roomId, members } });
    const grown = await invite([1002, 1004]);
    assert.deepEqual(grown.json.members.map((m) => m.joinUserId).sort(), [1001, 1002, 1003, 1004]);
    assert.equal((await invite([1005], 999999)).json.code, 40400);
    assert.equal((await invite([(await refusing('appInstallYn')).userId])).json.code, 40005);
    const leave = (who, roomId = room.chattRoomId) => who.api('DELETE', `/rest/chatt/room/member/${who.userId}/${roomId}/30`);
    assert.equal((await leave(u2)).json.status, 200);
    assert.equal((await leave(u2)).json.status, 200, 'leaving twice (after the LEAVE message) is still fine');
    assert.equal((await invite([1005], room.chattRoomId, u2)).json.code, 40301, 'a former member cannot invite');
    assert.equal((await leave(u1, 999999)).json.code, 40400);
    const group = (await u1.api('GET', `/rest/chatt/room/${u1.userId}`)).json.list.find((r) => r.chattRoomType === '10');
    assert.equal((await leave(u1, group.chattRoomId)).json.code, 40006);

    // A one-to-one room whose partner left takes that partner back and nobody else.
    const pair = (await u1.api('POST', '/rest/chatt/room', { form: { members: [1007], userId: u1.userId, roomType: 20 } })).json;
    const u7 = (await h.login(s, 'user007')).session;
    await u7.api('DELETE', `/rest/chatt/room/member/${u7.userId}/${pair.chattRoomId}/20`);
    const seen = (await u1.api('GET', `/rest/chatt/room/${u1.userId}/${pair.chattRoomId}`)).json;
    assert.equal(seen.leaveUserId, 1007);
    assert.equal((await invite([1003], pair.chattRoomId)).json.code, 40006);
    const back = await invite([1007], pair.chattRoomId);
    assert.equal(back.json.leaveUserId, undefined);
    assert.equal(back.json.members.length, 2);
});

test('group info: room id, members with their user and membership keys', async () => {
    const group = (await u1.api('GET', `/rest/chatt/room/${u1.userId}`)).json.list.find((r) => r.chattRoomType === '10');
    const res = await u1.api('GET', `/rest/group/info/${group.grpId}`);
    assert.equal(res.json.chattRoomId, group.chattRoomId);
    assert.ok(res.json.grpName);
    const me = res.json.members.find((m) => m.userId === u1.userId);
    for (const k of ['grpId', 'mbrStatus', 'leaderType', 'userName', 'user']) assert.ok(k in me, k);
    assert.equal((await u1.api('GET', '/rest/group/info/99999')).json.code, 40401);
    const foreign = (await s.control('GET', '/control/rooms')).find((r) => r.chattRoomType === '10' && !r.memberIds.includes(u1.userId));
    assert.equal((await u1.api('GET', `/rest/group/info/${foreign.grpId}`)).json.code, 40301);
});

test('history: pages of 50 back from a time, newest first, anchored at the chat whose id names the time', async () => {
    const rooms = await s.control('GET', `/control/rooms?userId=${u1.userId}`);
    const big = rooms.find((r) => r.chats >= 150);
    const all = await s.control('GET', `/control/history/${big.chattRoomId}?n=1000`);
    const page = (ts, p = 1, size = 50) => u1.api('GET', `/rest/chatt/room/savechatlist/${big.chattRoomId}/${ts}/${p}/${size}`);
    const first = (await page(0)).json.list;
    assert.equal(first.length, 50);
    assert.deepEqual(first.map((c) => c.messageId), all.slice(-50).reverse().map((c) => c.messageId));
    for (const k of ['topic', 'msgType', 'timestamp', 'senderId', 'messageId', 'contentType', 'contents']) assert.ok(k in first[0], k);
    // Walk back the way the client does: the time inside the oldest id held so far.
    const seen = new Set(first.map((c) => c.messageId));
    let oldest = first[first.length - 1];
    for (;;) {
        const ts = oldest.messageId.split('-')[2].slice(0, 13);
        const list = (await page(ts)).json.list;
        list.forEach((c) => seen.add(c.messageId));
        if (list.length < 50) break;
        oldest = list[list.length - 1];
    }
    assert.equal(seen.size, all.length, 'every chat once, none lost');
    assert.deepEqual((await page(0, 2)).json.list.map((c) => c.messageId), all.slice(-100, -50).reverse().map((c) => c.messageId));
    assert.equal((await page('abc')).json.code, 40002);
    assert.equal((await page(0, 0)).json.code, 40002);
    assert.equal((await u1.api('GET', '/rest/chatt/room/savechatlist/999999/0/1/50')).json.code, 40400);
    const foreign = (await s.control('GET', '/control/rooms')).find((r) => !r.memberIds.includes(u1.userId) && r.chats > 0);
    assert.equal((await u1.api('GET', `/rest/chatt/room/savechatlist/${foreign.chattRoomId}/0/1/50`)).json.code, 40301);
});

test('directory cache: everything first, then only what changed with I, U and D', async () => {
    const cache = (since) => u1.api('GET', `/rest/cache/${u1.userId}/${since}`);
    // Stamps have one-second resolution and an answer repeats what changed in its own second.
    await h.sleep(1100);
    const full = (await cache('19700101000000')).json;
    assert.match(full.updDatetime, /^\d{14}$/);
    assert.ok(full.users.length > 300 && full.groups.length >= 20 && full.groupMembers.length >= 600);
    assert.deepEqual(full.custOpts.map((o) => o.optCode).sort(), ['330', '950']);
    for (const k of ['userId', 'userName', 'deptName', 'thumbUrl', 'telOpenYn', 'chattingAllowYn', 'appInstallYn', 'userSortSeq', 'state']) {
        assert.ok(k in full.users[0], k);
    }
    const stamp = full.updDatetime;
    await h.sleep(1100);
    const none = (await cache(stamp)).json;
    assert.equal(none.users.length + none.groups.length + none.groupMembers.length, 0);

    const added = await s.control('POST', '/control/user', { userName: 'Cache Tester' });
    await s.control('PUT', '/control/user/1020', { userName: 'Renamed' });
    await s.control('DELETE', '/control/user/1021');
    const grp = await s.control('POST', '/control/group', { grpName: 'Cache group', members: [1001] });
    const before = (await s.control('GET', '/control/users/1030')).groups[0];
    await s.control('POST', '/control/group/member/remove', { grpId: before, userId: 1030 });
    await s.control('POST', '/control/options', { 950: '1' });
    const inc = (await cache(stamp)).json;
    const st = (list, pred) => list.find(pred)?.state;
    assert.equal(st(inc.users, (u) => u.userId === added.userId), 'I');
    assert.equal(st(inc.users, (u) => u.userId === 1020), 'U');
    assert.equal(st(inc.users, (u) => u.userId === 1021), 'D');
    assert.equal(st(inc.groups, (g) => g.grpId === grp.grpId), 'I');
    assert.equal(st(inc.groupMembers, (m) => m.grpId === grp.grpId && m.userId === 1001), 'I');
    assert.equal(st(inc.groupMembers, (m) => m.grpId === before && m.userId === 1030), 'D');
    assert.equal(inc.custOpts.find((o) => o.optCode === '950').optValue, '1');
    assert.ok(inc.users.length < 10, 'only the changes');
    await s.control('POST', '/control/group/remove', { grpId: grp.grpId });
    const gone = (await cache(inc.updDatetime)).json;
    assert.equal(st(gone.groups, (g) => g.grpId === grp.grpId), 'D');
    assert.equal(st(gone.groupMembers, (m) => m.grpId === grp.grpId), 'D');
    const fresh = (await cache('19700101000000')).json;
    assert.equal(fresh.groups.find((g) => g.grpId === grp.grpId), undefined, 'a first cache leaves deleted groups out');
    assert.equal(fresh.users.find((u) => u.userId === 1021).state, 'D');
    assert.equal((await cache('2024')).json.code, 40002);
    assert.equal((await cache('20241399000000')).json.code, 40002);
    await s.control('POST', '/control/options', { 950: '0' });
});

test('profile update and file authorisation', async () => {
    const u3 = (await h.login(s, 'user003')).session;
    const put = (form) => u3.api('PUT', '/rest/user', { form: { userId: u3.userId, tel: '010-1234-5678', telOpenYn: 1, ...form } });
    const res = await put({ userName: '새 이름', chattingAllowYn: 0 });
    assert.equal(res.json.userName, '새 이름');
    for (const k of ['userName', 'thumbUrl', 'imageUrl']) assert.ok(k in res.json, k);
    assert.equal((await s.control('GET', '/control/users/1003')).chattingAllowYn, '0');
    const removed = await put({ userName: '새 이름', chattingAllowYn: 1, fileKey: '0' });
    assert.equal(removed.json.thumbUrl, '');
    assert.equal((await put({ userName: '' })).json.code, 40001);
    assert.equal((await put({ userName: 'x', fileKey: 'nope' })).json.code, 40002);
    assert.equal((await put({ userName: 'x', chattingAllowYn: 'Y' })).json.code, 40002);
    assert.equal((await u3.api('PUT', '/rest/user', { form: { userId: 1001, userName: 'x' } })).json.code, 40300);
    assert.equal((await u3.api('GET', '/rest/file/auth')).json.status, 200);
    await s.control('POST', '/control/fileauth', { status: 403, message: 'Not allowed to save files' });
    assert.deepEqual((await u3.api('GET', '/rest/file/auth')).json, { status: 403, message: 'Not allowed to save files' });
    await s.control('POST', '/control/fileauth', { status: 200 });
});
