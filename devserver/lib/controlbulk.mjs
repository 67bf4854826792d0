import { ApiError, Err } from './errors.mjs';

// Control calls for large amounts of data: rooms and chats for one account, history appended
// to a room, chats published in a batch, and the record of what clients published.
export function registerBulkControl(app, { bulk, broker, ops }) {
    app.post('/control/bulk', async (req) => bulk.generate(req.body || {}));
    // {chats: [{roomId, userId, text?, contentType?, ...}]}: each as /control/chat does, in
    // order, in one call, so that steady traffic of hundreds of chats a second needs no request
    // per chat. Their message ids, in order.
    app.post('/control/chats', async (req) => {
        const chats = req.body?.chats;
        if (!Array.isArray(chats)) throw new ApiError(Err.MISSING_PARAM, 'chats: a list of chats');
        const ids = [];
        for (const c of chats) {
            if (!c?.roomId || !c?.userId) throw new ApiError(Err.MISSING_PARAM, 'each chat needs roomId and userId');
            ids.push((await ops.postChat({ ...c, roomId: Number(c.roomId), userId: Number(c.userId) })).messageId);
        }
        return { ok: true, messageIds: ids };
    });
    app.post('/control/history', async (req) => bulk.appendHistory(req.body || {}));
    app.get('/control/published', async (req) => broker.publishLog.list({ n: Number(req.query.n) || 1000,
        since: Number(req.query.since) || 0, clientId: req.query.clientId, type: req.query.type, topic: req.query.topic }));
    app.delete('/control/published', async () => {
        broker.publishLog.clear();
        return { ok: true };
    });
}
