import assert from 'node:assert/strict';
import { test } from 'node:test';
import * as h from './helpers.mjs';

test('--users 50000: the benchmark organisation is generated and served', async () => {
    const s = await h.startServer({ args: ['--users', '50000'] });
    try {
        const status = await s.control('GET', '/control/status');
        assert.equal(status.users, 50001);
        assert.equal(status.groups, 2000);
        const { session } = await h.login(s, 'user50000');
        const cache = (await session.api('GET', `/rest/cache/${session.userId}/19700101000000`)).json;
        assert.equal(cache.users.length, 50001);
        assert.equal(cache.groups.length, 2000);
        assert.ok(cache.groupMembers.length >= 100000);
    } finally {
        await s.stop();
    }
});
