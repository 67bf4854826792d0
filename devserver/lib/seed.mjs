// The seeded organisation: deterministic users, departments, groups with their rooms, and rooms
// with history. Same --users count, same organisation.
import crypto from 'node:crypto';
import { Prng } from './prng.mjs';
import { stamp14 } from './timefmt.mjs';
import { roomTopic } from './protocol.mjs';

export const DEMO_PASSWORD = 'Passw0rd!';
export const BOT_USER_ID = 999;
export const FIRST_USER_ID = 1001;
export const CUST_ID = 1;

export function passwordDigest(password) {
    return crypto.createHash('sha256').update(Buffer.from(password, 'utf8')).digest('base64');
}

export function accountName(i) {
    return `user${String(i).padStart(3, '0')}`;
}

const KO_SURNAMES = ['김', '이', '박', '최', '정', '강', '조', '윤', '장', '임', '한', '오', '서', '신',
    '권', '황', '안', '송', '류', '홍'];
const KO_GIVEN = ['민준', '서연', '도윤', '지우', '하준', '서윤', '시우', '하은', '지호', '민서', '예준',
    '지유', '주원', '수아', '유준', '지민', '건우', '채원', '현우', '다은', '준서', '예린', '은우', '소율',
    '우진', '윤서', '선우', '지안', '연우', '하린'];
const EN_FIRST = ['James', 'Emma', 'Oliver', 'Sophia', 'Liam', 'Mia', 'Noah', 'Ava', 'Lucas',
    'Isabella', 'Ethan', 'Grace', 'Daniel', 'Chloe', 'Henry', 'Lily', 'Jack', 'Zoe', 'Owen', 'Ella'];
const EN_LAST = ['Smith', 'Johnson', 'Brown', 'Taylor', 'Wilson', 'Clark', 'Lewis', 'Walker', 'Hall',
    'Young', 'King', 'Wright', 'Scott', 'Green', 'Baker', 'Adams', 'Nelson', 'Hill', 'Campbell',
    'Mitchell'];
const DEPTS = ['경영지원팀', '인사팀', '재무팀', '영업1팀', '영업2팀', '마케팅팀', 'Platform Team',
    'Mobile Team', '개발1팀', '개발2팀', 'QA Team', '디자인팀', 'Customer Success', '연구소',
    'Infrastructure', '법무팀'];
const PROJECTS = ['Project Aurora', '신제품 TF', 'Project Borealis', '고객포털 개편', 'Data Lake',
    '보안점검 TF', 'Project Cobalt', '2분기 워크숍'];
const PHRASES = ['안녕하세요!', '회의 자료 공유드립니다.', 'Good morning, everyone.', '확인했습니다 👍',
    'Can we move the meeting to 3 pm?', '점심 같이 하실 분?', '오늘 배포는 18시 예정입니다.',
    'Thanks, looks good to me.', '검토 부탁드립니다.', 'I will send the report by Friday.',
    '네 알겠습니다.', 'Let me check and get back to you.', '수고하셨습니다!', '내일 오전에 통화 가능할까요?',
    'The build is green again.', '자료 업데이트했어요.', 'Sounds great!', '잠시 후에 다시 연락드릴게요.',
    'Who is joining the call?', '좋은 하루 보내세요 :)'];

function userPictures(userId, version) {
    return { thumbUrl: `/pictures/u${userId}_${version}_t.png`, imageUrl: `/pictures/u${userId}_${version}.png` };
}

export function groupPictures(grpId) {
    return { thumbUrl: `/pictures/g${grpId}_1_t.png`, imageUrl: `/pictures/g${grpId}_1.png` };
}

function makeUser(rng, i, deptName, stamp) {
    const userId = FIRST_USER_ID + i - 1;
    const korean = rng.chance(0.66);
    const userName = korean ? rng.pick(KO_SURNAMES) + rng.pick(KO_GIVEN)
        : `${rng.pick(EN_FIRST)} ${rng.pick(EN_LAST)}`;
    const core = i <= 10;
    const installed = core || rng.chance(0.88);
    const allows = core || rng.chance(0.9);
    const hasPicture = core || rng.chance(0.85);
    const pics = hasPicture ? userPictures(userId, 1) : { thumbUrl: '', imageUrl: '' };
    return {
        userId, loginAccnt: accountName(i), passwd: null, userName,
        tel: `010-${String(1000 + (i % 9000)).padStart(4, '0')}-${String(rng.int(0, 9999)).padStart(4, '0')}`,
        email: `${accountName(i)}@veltri.example`, deptName, ...pics,
        telOpenYn: rng.chance(0.8) ? '1' : '0', chattingAllowYn: allows ? '1' : '0',
        appInstallYn: installed ? '1' : '0', userSortSeq: String(100000 + i),
        state: 'I', updDatetime: stamp, picVersion: hasPicture ? 1 : 0,
    };
}

export function seedState({ users: userCount, now = Date.now() }) {
    const rng = new Prng(20240601 + userCount);
    const stamp = stamp14(now);
    const digest = passwordDigest(DEMO_PASSWORD);
    const deptCount = Math.max(12, Math.round(userCount / 50));
    const projectCount = Math.max(8, Math.round(userCount / 50));
    const state = {
        format: 1, createdAt: now, seedUsers: userCount,
        next: { userId: FIRST_USER_ID + userCount, grpId: 1, roomId: 1, file: 1 },
        users: {}, groups: {}, memberships: {}, rooms: {}, chats: {}, sessions: {}, files: {},
        custOpts: {
            330: { optCode: '330', optValue: '1', updDatetime: stamp },
            950: { optCode: '950', optValue: '0', updDatetime: stamp },
        },
        settings: { minAppVer: null, updateLink: null, fileAuth: { status: 200, message: 'OK' } },
    };

    const newRoom = (type, members, openMs, grpId = 0) => {
        const id = state.next.roomId++;
        state.rooms[id] = { chattRoomId: id, chattRoomType: type, openDatetime: openMs,
            updDatetime: openMs, members, grpId, leaveUserId: 0, deleted: false };
        state.chats[id] = [];
        return state.rooms[id];
    };

    const groupIds = [];
    const addGroup = (grpName, grpType) => {
        const grpId = state.next.grpId++;
        const room = newRoom(10, [], now - 40 * 86400000, grpId);
        state.groups[grpId] = { grpId, grpName, grpType, skinColor: (grpId * 2654435761) % 0xffffff,
            ...groupPictures(grpId), state: 'I', updDatetime: stamp, roomId: room.chattRoomId };
        groupIds.push(grpId);
        return grpId;
    };
    const depts = [];
    for (let d = 0; d < deptCount; d++) {
        const base = DEPTS[d % DEPTS.length];
        depts.push(addGroup(d < DEPTS.length ? base : `${base} ${Math.floor(d / DEPTS.length) + 1}`, 1));
    }
    const projects = [];
    for (let p = 0; p < projectCount; p++) {
        const base = PROJECTS[p % PROJECTS.length];
        projects.push(addGroup(p < PROJECTS.length ? base : `${base} ${Math.floor(p / PROJECTS.length) + 1}`, 2));
    }

    const addMember = (grpId, userId, leaderType = '0') => {
        state.memberships[`${grpId}:${userId}`] = { grpId, userId, mbrStatus: '1', leaderType,
            state: 'I', updDatetime: stamp };
    };
    for (let i = 1; i <= userCount; i++) {
        // The first ten share a department and a project, so the demo account has company.
        const dept = i <= 10 ? depts[0] : depts[rng.int(0, deptCount - 1)];
        const project = i <= 10 ? projects[i % 2] : projects[rng.int(0, projectCount - 1)];
        const u = makeUser(rng, i, state.groups[dept].grpName, stamp);
        u.passwd = digest;
        state.users[u.userId] = u;
        addMember(dept, u.userId, i === 1 ? '1' : '0');
        addMember(project, u.userId);
    }
    state.users[BOT_USER_ID] = {
        userId: BOT_USER_ID, loginAccnt: 'demobot', passwd: digest, userName: '데모봇 Demo Bot',
        tel: '010-0000-0999', email: 'demobot@veltri.example', deptName: state.groups[depts[0]].grpName,
        ...userPictures(BOT_USER_ID, 1), telOpenYn: '0', chattingAllowYn: '1', appInstallYn: '1',
        userSortSeq: '000001', state: 'I', updDatetime: stamp, picVersion: 1, bot: true,
    };
    addMember(depts[0], BOT_USER_ID);

    // Rooms with history for the demo accounts.
    const id = (i) => FIRST_USER_ID + i - 1;
    const history = (room, count, people) => {
        const span = 14 * 86400000;
        let t = now - span + rng.int(0, 3600000);
        const step = Math.floor(span / (count + 1));
        for (let k = 0; k < count; k++) {
            t += rng.int(Math.floor(step / 2), step);
            const senderId = rng.pick(people);
            const messageId = `s${senderId}-seed-${t}${String(k % 10000).padStart(4, '0')}`;
            let contentType = 1;
            let contents = rng.pick(PHRASES);
            if (k % 23 === 7) {
                const n = (k % 5) + 1;
                contentType = 2;
                contents = JSON.stringify({ width: 480, height: 320, file_name: `photo${n}.png`,
                    remote_thumb_url: `/files/seedpic${n}_t.png`, remote_path_url: `/files/seedpic${n}.png` });
            } else if (k % 31 === 11) {
                const n = (k % 3) + 1;
                contentType = 4;
                contents = JSON.stringify({ file_name: `회의록_${n}.txt`, file_size: seedDocument(n).length,
                    remote_path_url: `/files/seeddoc${n}.txt` });
            }
            state.chats[room.chattRoomId].push({ topic: roomTopic(room.chattRoomId), msgType: 1,
                timestamp: t, senderId, messageId, contentType, contents });
        }
        room.updDatetime = Math.max(room.updDatetime, t);
    };
    const opened = now - 20 * 86400000;
    history(newRoom(20, [id(1), id(2)], opened), 180, [id(1), id(2)]);
    for (let i = 3; i <= 6; i++) history(newRoom(20, [id(1), id(i)], opened), rng.int(8, 40), [id(1), id(i)]);
    history(newRoom(20, [id(1), BOT_USER_ID], opened), 6, [id(1), BOT_USER_ID]);
    history(newRoom(20, [id(2), id(3)], opened), 25, [id(2), id(3)]);
    const left = newRoom(20, [id(1)], opened);
    history(left, 12, [id(1), id(9)]);
    left.leaveUserId = id(9);
    history(newRoom(30, [id(1), id(2), id(3), id(4)], opened), 60, [id(1), id(2), id(3), id(4)]);
    history(newRoom(30, [id(1), id(5), id(7), BOT_USER_ID], opened), 20, [id(1), id(5), id(7), BOT_USER_ID]);
    history(newRoom(30, [id(2), id(3), id(8)], opened), 15, [id(2), id(3), id(8)]);
    for (const grpId of [depts[0], projects[0], projects[1]]) {
        const g = state.groups[grpId];
        const people = Object.values(state.memberships).filter((m) => m.grpId === grpId)
            .map((m) => m.userId).slice(0, 12);
        history(state.rooms[g.roomId], rng.int(15, 45), people);
    }
    return state;
}

export function seedDocument(n) {
    const lines = [`회의록 ${n} / Meeting notes ${n}`, ''];
    for (let i = 1; i <= 20 * n; i++) lines.push(`${i}. ${PHRASES[(i * 7 + n) % PHRASES.length]}`);
    return Buffer.from(lines.join('\n') + '\n', 'utf8');
}
