import assert from 'node:assert/strict';
import { test } from 'node:test';
import { MsgType, decode, encodeChat, encodeEvent, encodeLogout, encodePush } from '../lib/protocol.mjs';

test('layouts: big-endian heads, the CHAT id list little-endian, UTF-8 tails', () => {
    const b = encodeChat({ time: Number(0x0000018c12345678n), contentType: 1, senderId: 7, messageId: 'xyz', contents: 'abc' });
    assert.equal(b.toString('hex'), '0000018c12345678' + '01' + '01' + '00000007' + '0003' + '78797a' + '0000' + '616263');
    const withList = encodeChat({ time: 5, contentType: 4, senderId: 1, messageId: '', idList: [1, 258], contents: '한' });
    assert.equal(withList.subarray(16, 26).toString('hex'), '0002' + '0100000002010000', 'empty id: the count follows at offset 16');
    assert.deepEqual([decode(withList).idList, decode(withList).contents], [[1, 258], '한']);
    const e = encodeEvent({ time: 0x030405060708, type: MsgType.LEAVEREAD, senderId: 0x01020304, messageId: 'id', contents: 'c' });
    assert.equal(e.toString('hex'), '0000030405060708' + '0a' + '01020304' + '0002' + '6964' + '63');
    const p = encodePush({ time: 1, senderId: 0, contents: '{"type":90}' });
    assert.deepEqual([p.length, decode(p)], [13 + 11, { time: 1, type: 6, senderId: 0, contents: '{"type":90}' }]);
    assert.equal(encodeLogout({ time: 42 }).toString('hex'), '000000000000002a63');
});

test('payloads shorter than their announced fields decode to null', () => {
    const full = encodeChat({ time: 1, contentType: 1, senderId: 2, messageId: 'abcd', idList: [3], contents: '' });
    for (const len of [0, 8, 15, 16 + 4 + 1, full.length - 1]) assert.equal(decode(full.subarray(0, len)), null, `length ${len}`);
    const ev = encodeEvent({ time: 1, type: MsgType.ENTERREAD, senderId: 2, messageId: 'abcdef', contents: '' });
    assert.equal(decode(ev.subarray(0, ev.length - 1)), null);
    assert.equal(decode(encodeLogout({ time: 1 })).type, MsgType.LOGOUT, 'a 9-byte LOGOUT is whole');
});
