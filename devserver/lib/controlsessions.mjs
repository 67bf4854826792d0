// Control calls on live sessions: keys rotated at the next login, a broker connection closed
// with the session kept, and the idle time-out.
import { ApiError, Err } from './errors.mjs';

export function registerSessionControl(app, { store, broker, expiry, sessionsFor }) {
    // {userId|clientId|accessKey}: the next login of the same device gets a new session (new
    // access key and client id); the current one stays valid meanwhile and after.
    app.post('/control/session/rotate', async (req) => {
        const sessions = sessionsFor(req.body || {}).filter((s) => !s.ended && !s.retired);
        for (const s of sessions) s.rotate = true;
        store.changed();
        return { ok: true, sessions: sessions.length };
    });

    // {userId|clientId|accessKey}: closes the MQTT connections; the sessions stay valid, so
    // the client may connect again with the same keys and gets what was queued meanwhile.
    app.post('/control/broker/drop', async (req) => {
        const sessions = sessionsFor(req.body || {});
        let dropped = 0;
        for (const s of sessions) {
            if (!broker.client(s.clientId)) continue;
            broker.closeClient(s.clientId);
            dropped++;
        }
        return { ok: true, dropped };
    });

    // {seconds}: sessions without a request for that long end (40104); 0 switches it off.
    app.post('/control/session/idle', async (req) => {
        const seconds = req.body?.seconds;
        if (seconds !== null && seconds !== undefined && (typeof seconds !== 'number' || seconds < 0)) {
            throw new ApiError(Err.BAD_PARAM, 'seconds must be a number, 0 or more');
        }
        return { ok: true, seconds: expiry.set(seconds) };
    });
}
