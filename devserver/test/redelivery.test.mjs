// In process, so that aedes' packet ids can overlap: an ack must never take away an old message.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { after, test } from 'node:test';
import mqttPacket from 'mqtt-packet';
import { Broker } from '../lib/broker.mjs';
import { Store } from '../lib/store.mjs';
import * as h from './helpers.mjs';

const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'veltri-redelivery-'));
const store = new Store(dir).open({ users: 20 });
const broker = new Broker(store, () => {});
const port = await broker.listen(0);
after(async () => { await broker.close(); clearTimeout(store.saveTimer); fs.rmSync(dir, { recursive: true, force: true }); });

// A bare MQTT 3.1.1 client that acknowledges only when told, and can stop reading.
async function connect(sess, firstPacketId) {
    const random = Math.random;
    // aedes starts each connection's packet ids at a random point.
    Math.random = () => firstPacketId / 65535;
    const socket = net.connect(port, '127.0.0.1');
    const parser = mqttPacket.parser();
    const c = { socket, publishes: [], closed: false, acking: false };
    c.send = (packet) => socket.write(mqttPacket.generate(packet));
    parser.on('packet', (p) => {
        if (p.cmd === 'connack') c.connack = p;
        if (p.cmd === 'publish') c.publishes.push(p);
        if (p.cmd === 'publish' && c.acking) c.send({ cmd: 'puback', messageId: p.messageId });
    });
    socket.on('data', (d) => parser.parse(d)).on('error', () => {}).on('close', () => { c.closed = true; });
    c.send({ cmd: 'connect', protocolId: 'MQTT', protocolVersion: 4, clean: false, clientId: sess.clientId,
        keepalive: 60, username: String(sess.userId), password: Buffer.from(sess.accessKey) });
    await h.waitFor(() => c.connack, { what: 'CONNACK' });
    Math.random = random;
    return c;
}

const payload = (n) => Buffer.concat([Buffer.from(`${n} `), Buffer.alloc(200000, 0x61)]);
const number = (p) => Number(p.payload.toString('latin1').split(' ')[0]);
const numbers = (c) => c.publishes.map(number);
const queued = (sess) => new Promise((resolve) => {
    let count = 0;
    broker.aedes.persistence.outgoingStream({ id: sess.clientId }).on('data', () => { count++; }).on('end', () => resolve(count));
});

test('messages left unacknowledged by a dropped connection all come again, new ones after them', async () => {
    const userId = Object.keys(store.s.users).map(Number).find((u) => store.userTopics(u).length > 0);
    const topic = store.userTopics(userId)[0];
    const sess = store.createSession(userId);
    const first = await connect(sess, 1000);
    await h.waitFor(() => broker.client(sess.clientId)?.subscriptions[topic], { what: 'subscription' });
    for (let n = 0; n < 200; n++) await broker.publish(topic, payload(n));
    await h.waitFor(() => first.publishes.length === 200, { what: 'the first 200' });
    broker.closeClient(sess.clientId);
    await h.waitFor(() => first.closed, { what: 'the drop' });

    // New ones numbered among the ids of old ones not yet sent again, acknowledged first.
    const second = await connect(sess, 1150);
    const live = [];
    for (let n = 200; n < 220; n++) live.push(broker.publish(topic, payload(n)));
    await h.waitFor(() => numbers(second).filter((n) => n >= 200).length === 20, { what: 'the new 20' });
    second.socket.pause();
    const ack = (which) => second.publishes.filter((p) => which(number(p))).forEach((p) => second.send({ cmd: 'puback', messageId: p.messageId }));
    ack((n) => n >= 200);
    await h.waitFor(async () => (await queued(sess)) === 200, { what: 'the new 20 acknowledged' });
    second.acking = true;
    ack((n) => n < 200);
    second.socket.resume();
    await Promise.all(live);
    await h.waitFor(() => new Set(numbers(second)).size === 220 || second.closed, { what: 'all 220', timeout: 20000 });
    assert.deepEqual({ received: [...new Set(numbers(second))].sort((a, b) => a - b), closed: second.closed },
        { received: [...Array(220).keys()], closed: false });
    second.socket.destroy();
});
