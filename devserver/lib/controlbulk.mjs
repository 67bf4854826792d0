// Control calls for large amounts of data: rooms and chats for one account, history appended
// to a room, and the record of what clients published.
export function registerBulkControl(app, { bulk, broker }) {
    app.post('/control/bulk', async (req) => bulk.generate(req.body || {}));
    app.post('/control/history', async (req) => bulk.appendHistory(req.body || {}));
    app.get('/control/published', async (req) => broker.publishLog.list({ n: Number(req.query.n) || 1000,
        since: Number(req.query.since) || 0, clientId: req.query.clientId, type: req.query.type, topic: req.query.topic }));
    app.delete('/control/published', async () => {
        broker.publishLog.clear();
        return { ok: true };
    });
}
