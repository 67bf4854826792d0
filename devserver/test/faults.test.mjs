import assert from 'node:assert/strict';
import { Readable } from 'node:stream';
import { test } from 'node:test';
import { Faults } from '../lib/faults.mjs';

// A stalled answer whose body is still being read when the stall is cleared goes out whole: held
// after the release, it waited for another release that never came.
test('a stall cleared while its answer is read lets the answer through', async () => {
    const faults = new Faults();
    faults.set({ mode: 'stall', path: '/pictures/', bytes: 10, after: 'finish' });
    const req = { url: '/pictures/u1_t.png', method: 'GET' };
    assert.equal(await faults.apply(req, {}), false);
    const body = new Readable({ read() {} });
    body.push(Buffer.from('0123456789abcdef'));
    // Still reading: the body has not ended.
    const answer = faults.hold(req, { raw: {}, header() {}, hasHeader: () => false }, body);
    faults.set({ mode: 'off' });
    body.push(null);
    assert.equal((await answer).toString(), '0123456789abcdef');
});
