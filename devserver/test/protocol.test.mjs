import assert from 'node:assert/strict';
import { test } from 'node:test';
import { MsgType, decode, encodeChat, encodeEvent, encodeLogout, encodePush, withTime } from '../lib/protocol.mjs';

const T = 0x0102030405060708n;

test('CHAT layout: big-endian head, little-endian id list, UTF-8 tail', () => {
    const b = encodeChat({ time: Number(0x0000018c12345678n), contentType: 1, senderId: 7, messageId: 'xyz', contents: 'abc' });
    assert.equal(b.toString('hex'), '0000018c12345678' + '01' + '01' + '00000007' + '0003' + '78797a' + '0000' + '616263');
    const withList = encodeChat({ time: 5, contentType: 4, senderId: 1, messageId: '', idList: [1, 258], contents: '한' });
    assert.equal(withList.subarray(16, 18).toString('hex'), '0002', 'empty id: the count follows at offset 16');
    assert.equal(withList.subarray(18, 26).toString('hex'), '0100000002010000');
    assert.deepEqual(decode(withList).idList, [1, 258]);
    assert.equal(decode(withList).contents, '한');
});

test('event, push and logout layouts', () => {
    const e = encodeEvent({ time: Number(T & 0xffffffffffffn), type: MsgType.LEAVEREAD, senderId: 0x01020304, messageId: 'id', contents: 'c' });
    assert.equal(e.subarray(8).toString('hex'), '0a' + '01020304' + '0002' + '6964' + '63');
    const p = encodePush({ time: 1, senderId: 0, contents: '{"type":90}' });
    assert.equal(p.length, 13 + 11);
    assert.equal(p[8], 6);
    assert.deepEqual(decode(p), { time: 1, type: 6, senderId: 0, contents: '{"type":90}' });
    const l = encodeLogout({ time: 42 });
    assert.equal(l.toString('hex'), '000000000000002a63');
});

test('payloads shorter than their announced fields decode to null', () => {
    const full = encodeChat({ time: 1, contentType: 1, senderId: 2, messageId: 'abcd', idList: [3], contents: '' });
    for (const len of [0, 8, 15, 16 + 4 + 1, full.length - 1]) assert.equal(decode(full.subarray(0, len)), null, `length ${len}`);
    const ev = encodeEvent({ time: 1, type: MsgType.ENTERREAD, senderId: 2, messageId: 'abcdef', contents: '' });
    assert.equal(decode(ev.subarray(0, ev.length - 1)), null);
    assert.equal(decode(encodeLogout({ time: 1 })).type, MsgType.LOGOUT, 'a 9-byte LOGOUT is whole');
});

test('withTime replaces only bytes 0-7', () => {
    const b = encodeChat({ time: 1, contentType: 1, senderId: 9, messageId: 'm', contents: 'text' });
    const c = withTime(b, 1700000000123);
    assert.equal(decode(c).time, 1700000000123);
    assert.deepEqual(c.subarray(8), b.subarray(8));
});
