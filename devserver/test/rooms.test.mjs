import assert from 'node:assert/strict';
import { after, test } from 'node:test';
import * as h from './helpers.mjs';

const s = await h.startServer();
after(() => s.stop());
const [u1, u2] = [(await h.login(s, 'user001')).session, (await h.login(s, 'user002')).session];

const refusing = async (field) => (await s.control('GET', '/control/users?n=400'))
    .find((u) => u[field] === '0' && u.state !== 'D' && (field !== 'chattingAllowYn' || u.appInstallYn === '1'));
const myRooms = async () => (await u1.api('GET', `/rest/chatt/room/${u1.userId}`)).json.list;
const foreignRoom = async (pred = () => true) => (await s.control('GET', '/control/rooms')).find((r) => !r.memberIds.includes(u1.userId) && pred(r));
const create = (members, roomType, userId = u1.userId) => u1.api('POST', '/rest/chatt/room', { form: { members, userId, roomType } });
const memberIds = (room) => room.members.map((m) => m.joinUserId).sort();

// What the client's own tests cannot see from their side: other users' rooms and groups stay
// closed, a left one-to-one room keeps its last member, and membership changes as the client asks.
test('rooms and groups: a left one-to-one room; foreign ones refused', async () => {
    const list = await myRooms();
    const left = list.find((r) => r.leaveUserId);
    assert.deepEqual([left.chattRoomType, memberIds(left)], ['20', [u1.userId]]);
    const info = async (id) => (await u1.api('GET', `/rest/group/info/${id}`)).json;
    const room = async (id) => (await u1.api('GET', `/rest/chatt/room/${u1.userId}/${id}`)).json;
    assert.deepEqual([(await info((await foreignRoom((r) => r.chattRoomType === '10')).grpId)).code,
        (await room((await foreignRoom()).chattRoomId)).code, (await u1.api('GET', `/rest/chatt/room/${u2.userId}`)).json.code],
    [40301, 40301, 40300]);
});

test('creating rooms, inviting and leaving', async () => {
    const room = (await create([1003, 1004, 1005], 30)).json;
    assert.deepEqual([room.chattRoomType, memberIds(room)], ['30', [1001, 1003, 1004, 1005]]);
    const pair = await create([1006], 40);
    assert.equal(pair.json.chattRoomType, '20', 'type 40 is created as 20');
    assert.equal((await create([1006], 20)).json.chattRoomId, pair.json.chattRoomId, 'the pair\'s room is reused');
    assert.equal((await create([(await refusing('chattingAllowYn')).userId], 20)).json.code, 40005, 'a user who refuses chats');

    const invite = (members, roomId = room.chattRoomId, who = u1) => who.api('POST', '/rest/chatt/room/member', { form: { userId: who.userId, roomId, members } });
    const leave = (who, roomId = room.chattRoomId, type = 30) => who.api('DELETE', `/rest/chatt/room/member/${who.userId}/${roomId}/${type}`);
    assert.deepEqual(memberIds((await invite([1002, 1006])).json), [1001, 1002, 1003, 1004, 1005, 1006]);
    assert.equal((await invite([(await refusing('appInstallYn')).userId])).json.code, 40005, 'a user without the program');
    assert.equal((await leave(u2)).json.status, 200);
    assert.equal((await leave(u2)).json.status, 200, 'leaving twice (after the LEAVE message) is still fine');
    assert.equal((await invite([1005], room.chattRoomId, u2)).json.code, 40301, 'a former member cannot invite');

    // A one-to-one room whose partner left takes that partner back and nobody else.
    const pairId = pair.json.chattRoomId;
    await leave((await h.login(s, 'user006')).session, pairId, 20);
    assert.equal((await u1.api('GET', `/rest/chatt/room/${u1.userId}/${pairId}`)).json.leaveUserId, 1006);
    assert.equal((await invite([1003], pairId)).json.code, 40006);
    const back = (await invite([1006], pairId)).json;
    assert.deepEqual([back.leaveUserId, memberIds(back)], [undefined, [1001, 1006]]);
});

test('directory cache: everything first, then only what changed with I, U and D', async () => {
    const cache = async (since) => (await u1.api('GET', `/rest/cache/${u1.userId}/${since}`)).json;
    // Stamps have one-second resolution and an answer repeats what changed in its own second.
    await h.sleep(1100);
    const full = await cache('19700101000000');
    assert.match(full.updDatetime, /^\d{14}$/);
    assert.ok(full.users.length > 300 && full.groups.length >= 20 && full.groupMembers.length >= 600);

    const added = await s.control('POST', '/control/user', { userName: 'Cache Tester' });
    await s.control('PUT', '/control/user/1020', { userName: 'Renamed' });
    await s.control('DELETE', '/control/user/1021');
    const grp = await s.control('POST', '/control/group', { grpName: 'Cache group', members: [1001] });
    const before = (await s.control('GET', '/control/users/1030')).groups[0];
    await s.control('POST', '/control/group/member/remove', { grpId: before, userId: 1030 });
    await s.control('POST', '/control/options', { 950: '1' });
    const inc = await cache(full.updDatetime);
    const st = (list, pred) => list.find(pred)?.state;
    assert.deepEqual([st(inc.users, (u) => u.userId === added.userId), st(inc.users, (u) => u.userId === 1020), st(inc.users, (u) => u.userId === 1021),
        st(inc.groups, (g) => g.grpId === grp.grpId), st(inc.groupMembers, (m) => m.grpId === grp.grpId && m.userId === 1001),
        st(inc.groupMembers, (m) => m.grpId === before && m.userId === 1030), inc.custOpts.find((o) => o.optCode === '950').optValue],
    ['I', 'U', 'D', 'I', 'I', 'D', '1']);
    assert.ok(inc.users.length < 10, 'only the changes');
    await s.control('POST', '/control/group/remove', { grpId: grp.grpId });
    const gone = await cache(inc.updDatetime);
    assert.deepEqual([st(gone.groups, (g) => g.grpId === grp.grpId), st(gone.groupMembers, (m) => m.grpId === grp.grpId)], ['D', 'D']);
    const fresh = await cache('19700101000000');
    assert.equal(fresh.groups.find((g) => g.grpId === grp.grpId), undefined, 'a first cache leaves deleted groups out');
    assert.equal(fresh.users.find((u) => u.userId === 1021).state, 'D');
});

test('profile update and file authorisation', async () => {
    const u3 = (await h.login(s, 'user003')).session;
    const put = async (form) => (await u3.api('PUT', '/rest/user', { form: { userId: u3.userId, tel: '010-1234-5678', telOpenYn: 1, ...form } })).json;
    const res = await put({ userName: '새 이름', chattingAllowYn: 0 });
    assert.deepEqual([res.userName, (await s.control('GET', '/control/users/1003')).chattingAllowYn], ['새 이름', '0']);
    assert.equal((await put({ userName: '새 이름', chattingAllowYn: 1, fileKey: '0' })).thumbUrl, '', 'fileKey 0 removes the picture');
    assert.equal((await put({ userId: 1001, userName: 'x' })).code, 40300, 'only one\'s own profile');
    const auth = async () => (await u3.api('GET', '/rest/file/auth')).json;
    assert.equal((await auth()).status, 200);
    await s.control('POST', '/control/fileauth', { status: 403, message: 'Not allowed to save files' });
    assert.deepEqual(await auth(), { status: 403, message: 'Not allowed to save files' });
});
