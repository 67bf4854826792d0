// Control calls for large amounts of data: rooms and chats for one account, history appended
// to a room, and the record of what clients published.
export function registerBulkControl(app, { bulk, broker }) {
    app.post('/control/bulk', async (req) => bulk.generate(req.body || {}));
    app.post('/control/history', async (req) => bulk.appendHistory(req.body || {}));
}
