// The server on free ports in a temporary folder, HTTPS trusting its CA, and an MQTT client.
import { spawn } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import https from 'node:https';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { buffer } from 'node:stream/consumers';
import { fileURLToPath } from 'node:url';
import mqtt from 'mqtt';

const SERVER = fileURLToPath(new URL('../server.mjs', import.meta.url));
export const PASSWORD = 'Passw0rd!';
export const digest = (password) => crypto.createHash('sha256').update(password, 'utf8').digest('base64');

export async function startServer() {
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'veltri-devserver-'));
    const proc = spawn(process.execPath, [SERVER, '--data', dir, '--rest-port', '0', '--broker-port', '0']);
    let out = '';
    proc.stderr.on('data', (d) => { out += d; });
    await new Promise((resolve, reject) => {
        setTimeout(() => reject(new Error(`server did not start:\n${out}`)), 30000).unref();
        proc.stdout.on('data', (d) => { out += d; if (/^READY$/m.test(out)) resolve(); });
        proc.on('exit', (code) => reject(new Error(`server exited ${code}:\n${out}`)));
    });
    const port = (name) => Number(new RegExp(`^${name} (\\d+)$`, 'm').exec(out)[1]);
    const server = {
        rest: port('REST'), broker: port('BROKER'), controlPort: port('CONTROL'), ca: fs.readFileSync(path.join(dir, 'ca.pem')),
        async stop() {
            if (proc.exitCode === null) await new Promise((r) => proc.once('exit', r).kill('SIGTERM'));
            fs.rmSync(dir, { recursive: true, force: true });
        },
        api: (method, p, opts) => api(server, method, p, opts),
        control: (method, p, body) => control(server, method, p, body),
    };
    return server;
}

// One request; resolves with the status, the body and its JSON (null when it is none).
async function request(transport, options, payload) {
    const res = await new Promise((resolve, reject) => transport.request(options, resolve).on('error', reject).end(payload));
    const body = await buffer(res);
    let json = null;
    try { json = JSON.parse(body.toString('utf8')); } catch { /* not JSON */ }
    return { status: res.statusCode, json, body, headers: res.headers };
}

// Over real TLS, the server's certificate checked against DIR/ca.pem. A form is encoded as the
// client does, an array as repeated fields.
export function api(server, method, p, { headers = {}, form, body } = {}) {
    const h = { 'App-Ver': '1046', Accept: 'application/json', 'Content-Type': 'text/plain', ...headers };
    if (form !== undefined) {
        body = new URLSearchParams(Object.entries(form).flatMap(([k, v]) => [v].flat().filter((x) => x !== undefined).map((x) => [k, String(x)]))).toString();
        h['Content-Type'] = 'application/x-www-form-urlencoded';
    }
    return request(https, { host: 'localhost', port: server.rest, method, path: p, headers: h, ca: server.ca }, body);
}

// The control interface; an answer of 400 or more rejects with its status.
export async function control(server, method, p, body) {
    const data = body === undefined ? undefined : JSON.stringify(body);
    const res = await request(http, { host: '127.0.0.1', port: server.controlPort, method, path: p,
        headers: data ? { 'Content-Type': 'application/json' } : {} }, data);
    if (res.status >= 400) throw new Error(`control ${method} ${p}: ${res.status} ${res.body}`);
    return res.json;
}

// The client's login (the digest with "+" written as "%2B" before form encoding); its session.
export async function login(server, account) {
    const deviceId = 'dev-' + account;
    const res = await api(server, 'POST', '/rest/auth', { headers: { 'Device-Id': deviceId },
        form: { loginAccnt: account, passwd: digest(PASSWORD).replace(/\+/g, '%2B'), deviceModel: 'PC', forceYn: 0 } });
    if (res.status !== 200) throw new Error(`login ${account}: ${res.status} ${res.body}`);
    const { userId, custId, client: { accessKey, clientId } } = res.json;
    const headers = { 'User-Id': String(userId), 'Cust-Id': String(custId), 'Access-Key': accessKey, 'Client-Id': clientId,
        'Device-Id': deviceId, 'Device-Platform': 'C' };
    return { userId, accessKey, clientId, headers,
        api: (method, p, opts = {}) => api(server, method, p, { ...opts, headers: { ...headers, ...opts.headers } }) };
}

// A session's broker connection in MQTT 3.1, as the client's: client id, user id and access key, or
// what `opts` puts instead.
export async function sessionMqtt(server, session, opts = {}) {
    const client = mqtt.connect({ host: '127.0.0.1', port: server.broker, clientId: session.clientId, username: String(session.userId),
        password: session.accessKey, ...opts, clean: false, protocolVersion: 3, protocolId: 'MQIsdp', reconnectPeriod: 0, connectTimeout: 5000 });
    client.received = [];
    client.on('message', (topic, payload) => client.received.push({ topic, payload: Buffer.from(payload) }));
    await new Promise((resolve, reject) => client.once('connect', resolve).once('error', reject).once('close', () => reject(new Error('connection closed'))));
    return client;
}

export async function waitFor(fn, { timeout = 5000, what = 'condition' } = {}) {
    for (const end = Date.now() + timeout; ; await new Promise((r) => setTimeout(r, 20))) {
        const v = await fn();
        if (v) return v;
        if (Date.now() > end) throw new Error(`timed out waiting for ${what}`);
    }
}

export const publish = (client, topic, payload) => client.publishAsync(topic, payload, { qos: 1 });
