// Sessions that end when idle: a session without a REST request (or a broker connect) for the
// set number of seconds ends as a logout does (40104), its broker connection closed.
import { Err } from './errors.mjs';

export const IDLE_MESSAGE = 'Your session has expired.';

export class SessionExpiry {
    constructor({ store, ops, log }, seconds = 0) {
        this.store = store;
        this.ops = ops;
        this.log = log;
        this.seconds = 0;
        this.timer = null;
        this.set(seconds);
    }

    set(seconds) {
        const n = seconds === null || seconds === undefined ? 0 : Number(seconds);
        if (!Number.isFinite(n) || n < 0) throw new Error('seconds must be 0 or more');
        this.seconds = n;
        // Idle time counts from now, not from before the time-out was set.
        this.since = Date.now();
        clearInterval(this.timer);
        this.timer = null;
        if (n) {
            // Checked often enough that an idle session ends within a quarter of the time.
            this.timer = setInterval(() => this.sweep().catch((e) => this.log(`expiry: ${e.message}`)),
                Math.max(50, Math.min(1000, (n * 1000) / 4)));
            this.timer.unref();
        }
        return this.seconds;
    }

    idle(sess, now = Date.now()) {
        return !!this.seconds && !sess.ended && now - Math.max(sess.lastSeen, this.since) > this.seconds * 1000;
    }

    // Ends the session when it has been idle too long; true when it did (or already had ended).
    async check(sess) {
        if (!this.idle(sess)) return !!sess.ended;
        this.log(`expiry: clientId=${sess.clientId} idle for more than ${this.seconds} s`);
        await this.ops.endSessions([sess], Err.SESSION_ENDED[1], IDLE_MESSAGE);
        return true;
    }

    async sweep() {
        const now = Date.now();
        const idle = Object.values(this.store.s.sessions).filter((s) => this.idle(s, now));
        for (const sess of idle) await this.check(sess);
    }

    stop() {
        clearInterval(this.timer);
        this.timer = null;
    }
}
