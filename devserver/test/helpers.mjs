// Test helpers: the server as a child process on free ports with a temporary data folder,
// an HTTPS client that trusts the folder's CA, and an independent MQTT client (mqtt.js).
import { spawn } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import https from 'node:https';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import mqtt from 'mqtt';

const SERVER = path.join(path.dirname(fileURLToPath(import.meta.url)), '..', 'server.mjs');
export const PASSWORD = 'Passw0rd!';

export function digest(password) {
    return crypto.createHash('sha256').update(Buffer.from(password, 'utf8')).digest('base64');
}

export async function startServer({ dataDir, args = [] } = {}) {
    const dir = dataDir || fs.mkdtempSync(path.join(os.tmpdir(), 'veltri-devserver-'));
    const proc = spawn(process.execPath, [SERVER, '--data', dir, '--rest-port', '0', '--broker-port', '0', ...args],
        { stdio: ['ignore', 'pipe', 'pipe'] });
    let out = '';
    proc.stderr.on('data', (d) => { out += d; });
    const ports = await new Promise((resolve, reject) => {
        const timer = setTimeout(() => reject(new Error(`server did not start:\n${out}`)), 30000);
        proc.stdout.on('data', (d) => {
            out += d;
            if (/^READY$/m.test(out)) {
                clearTimeout(timer);
                const port = (name) => Number(new RegExp(`^${name} (\\d+)$`, 'm').exec(out)[1]);
                resolve({ rest: port('REST'), broker: port('BROKER'), controlPort: port('CONTROL') });
            }
        });
        proc.on('exit', (code) => reject(new Error(`server exited ${code}:\n${out}`)));
    });
    const server = {
        ...ports, dataDir: dir, ca: fs.readFileSync(path.join(dir, 'ca.pem')),
        async stop() {
            if (proc.exitCode === null) {
                const done = new Promise((r) => proc.once('exit', r));
                proc.kill('SIGTERM');
                await done;
            }
            if (!dataDir) fs.rmSync(dir, { recursive: true, force: true });
        },
        api: (method, p, opts) => api(server, method, p, opts),
        control: (method, p, body) => control(server, method, p, body),
    };
    return server;
}

// One request; resolves with the status, the body and its JSON (null when it is none).
function request(transport, options, payload) {
    return new Promise((resolve, reject) => {
        const req = transport.request(options, (res) => {
            const chunks = [];
            res.on('data', (c) => chunks.push(c));
            res.on('end', () => {
                const body = Buffer.concat(chunks);
                let json = null;
                try { json = JSON.parse(body.toString('utf8')); } catch { /* not JSON */ }
                resolve({ status: res.statusCode, json, body, headers: res.headers });
            });
        });
        req.on('error', reject);
        if (payload !== undefined) req.write(payload);
        req.end();
    });
}

// Over real TLS, the server's certificate checked against DIR/ca.pem. A form is encoded as the
// client does, an array as repeated fields.
export function api(server, method, p, { headers = {}, form, body, host = 'localhost' } = {}) {
    const h = { 'App-Ver': '1046', Accept: 'application/json', ...headers };
    if (form !== undefined) {
        const q = new URLSearchParams();
        for (const [k, v] of Object.entries(form)) [v].flat().forEach((x) => x !== undefined && q.append(k, String(x)));
        body = q.toString();
        h['Content-Type'] = 'application/x-www-form-urlencoded';
    } else if (body === undefined && (method === 'GET' || method === 'DELETE')) {
        h['Content-Type'] = 'text/plain';
    }
    return request(https, { host, port: server.rest, method, path: p, headers: h, ca: server.ca }, body);
}

// The control interface; an answer of 400 or more rejects with its status.
export async function control(server, method, p, body) {
    const data = body === undefined ? undefined : JSON.stringify(body);
    const res = await request(http, { host: '127.0.0.1', port: server.controlPort, method, path: p,
        headers: data ? { 'Content-Type': 'application/json' } : {} }, data);
    if (res.status >= 400) throw Object.assign(new Error(`control ${method} ${p}: ${res.status} ${res.body}`), { status: res.status });
    return res.json;
}

// The client's login: the digest with "+" written as "%2B" before form encoding.
export async function login(server, account, password = PASSWORD, { deviceId = 'dev-' + account, force } = {}) {
    const passwd = digest(password).replace(/\+/g, '%2B');
    const res = await api(server, 'POST', '/rest/auth', { form: { loginAccnt: account, passwd, deviceModel: 'PC', forceYn: force ? 1 : 0 },
        headers: deviceId ? { 'Device-Id': deviceId } : {} });
    if (res.status !== 200) return { res };
    const j = res.json;
    const session = {
        userId: j.userId, accessKey: j.client.accessKey, clientId: j.client.clientId, deviceId,
        headers: { 'User-Id': String(j.userId), 'Cust-Id': String(j.custId), 'Access-Key': j.client.accessKey,
            'Client-Id': j.client.clientId, 'Device-Id': deviceId, 'Device-Platform': 'C' },
    };
    session.api = (method, p, opts = {}) => api(server, method, p, { ...opts, headers: { ...session.headers, ...(opts.headers || {}) } });
    return { res, session };
}

export async function mqttConnect(server, { clientId, username, password, clean = false, protocolVersion = 4 } = {}) {
    const client = mqtt.connect({ host: '127.0.0.1', port: server.broker, clientId, username, password,
        clean, protocolVersion, protocolId: protocolVersion === 3 ? 'MQIsdp' : 'MQTT',
        reconnectPeriod: 0, connectTimeout: 5000 });
    client.received = [];
    client.on('message', (topic, payload) => client.received.push({ topic, payload: Buffer.from(payload) }));
    await new Promise((resolve, reject) => {
        client.once('connect', resolve);
        client.once('error', reject);
        client.once('close', () => reject(new Error('connection closed')));
    });
    return client;
}

export function sessionMqtt(server, session, opts = {}) {
    return mqttConnect(server, { clientId: session.clientId, username: String(session.userId),
        password: session.accessKey, ...opts });
}

export async function waitFor(fn, { timeout = 5000, what = 'condition' } = {}) {
    const end = Date.now() + timeout;
    for (;;) {
        const v = await fn();
        if (v) return v;
        if (Date.now() > end) throw new Error(`timed out waiting for ${what}`);
        await sleep(20);
    }
}

export function sleep(ms) {
    return new Promise((r) => setTimeout(r, ms));
}

export function publish(client, topic, payload) {
    return new Promise((resolve, reject) => client.publish(topic, payload, { qos: 1 }, (e) => (e ? reject(e) : resolve())));
}

// A multipart body with the parts in order; a part with a filename is a file.
export function multipartBody(parts) {
    const boundary = '----veltri' + crypto.randomBytes(6).toString('hex');
    const chunks = parts.map((p) => Buffer.concat([
        Buffer.from(`--${boundary}\r\nContent-Disposition: form-data; name="${p.name}"` +
            (p.filename === undefined ? '\r\n\r\n' : `; filename="${p.filename}"\r\nContent-Type: application/octet-stream\r\n\r\n`)),
        Buffer.isBuffer(p.value) ? p.value : Buffer.from(String(p.value), 'utf8'), Buffer.from('\r\n')]));
    chunks.push(Buffer.from(`--${boundary}--\r\n`));
    return { body: Buffer.concat(chunks), contentType: `multipart/form-data; boundary=${boundary}` };
}
