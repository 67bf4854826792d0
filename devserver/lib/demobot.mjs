// The demo member: in its rooms it reads new chats (ENTERREAD), answers after a short delay and
// now and then sends a picture or a file, so a lone demo user sees a live conversation.
import { ContentType, MsgType, REFRESH_TEXT } from './protocol.mjs';
import { BOT_USER_ID } from './seed.mjs';

const REPLIES = ['좋아요! 👍', 'Got it, thanks!', '확인했습니다.', 'Sounds good to me.', '잠시만요, 찾아볼게요.',
    'Interesting — tell me more.', '네, 그렇게 하죠.', 'I will take care of it.', 'ㅎㅎ 알겠어요', 'Perfect.'];

export class DemoBot {
    constructor({ store, broker, ops, log }) {
        Object.assign(this, { store, broker, ops, log });
        this.enabled = false;
        this.pending = new Map();
        this.greeted = new Set();
        this.count = 0;
        broker.on('message', (ev) => this.onMessage(ev));
    }

    get userId() { return BOT_USER_ID; }

    onMessage({ roomId, d }) {
        if (!this.enabled || d.senderId === this.userId || !this.store.isMember(roomId, this.userId)) return;
        if (d.type === MsgType.CHAT && d.contents !== REFRESH_TEXT) this.schedule(roomId, d);
        if ((d.type === MsgType.INVITE || d.type === MsgType.ADMISSION) && !this.greeted.has(roomId)) {
            this.greeted.add(roomId);
            setTimeout(() => this.say(roomId, '안녕하세요! Hello! 데모봇입니다. Say anything and I will answer.'), 1200);
        }
    }

    // One answer per room at a time; chats arriving meanwhile are read and answered together.
    schedule(roomId, d) {
        const had = this.pending.has(roomId);
        this.pending.set(roomId, d);
        if (had) return;
        setTimeout(async () => {
            const last = this.pending.get(roomId);
            try {
                await this.ops.sendRead({ roomId, userId: this.userId, type: MsgType.ENTERREAD,
                    readTime: Math.max(0, last.time - 10000) });
                await new Promise((r) => setTimeout(r, 700));
                await this.answer(roomId, last);
            } catch (e) {
                this.log(`demo: answer failed in room ${roomId}: ${e.message}`);
            } finally {
                this.pending.delete(roomId);
            }
        }, 800 + Math.floor(Math.random() * 1200));
    }

    async answer(roomId, d) {
        if (!this.store.room(roomId)) return;
        this.count++;
        if (this.count % 5 === 0) {
            await this.ops.postChat({ roomId, userId: this.userId, contentType: ContentType.IMAGE,
                fileName: `demo_${this.count}.png` });
        } else if (this.count % 7 === 0) {
            const text = `Demo file ${this.count}\n${REPLIES.join('\n')}\n`;
            await this.ops.postChat({ roomId, userId: this.userId, contentType: ContentType.FILE,
                fileName: `notes_${this.count}.txt`, text });
        } else {
            const said = d.contentType === ContentType.TEXT ? d.contents.slice(0, 60) : '';
            const reply = REPLIES[this.count % REPLIES.length];
            await this.say(roomId, said ? `"${said}" — ${reply}` : reply);
        }
    }

    say(roomId, text) {
        if (!this.store.room(roomId)) return Promise.resolve();
        return this.ops.postChat({ roomId, userId: this.userId, contentType: ContentType.TEXT, text });
    }
}
