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

const here = path.dirname(fileURLToPath(import.meta.url));
export const SERVER = path.join(here, '..', 'server.mjs');
export const PASSWORD = 'Passw0rd!';

export function digest(password) {
    return crypto.createHash('sha256').update(Buffer.from(password, 'utf8')).digest('base64');
}

export async function startServer({ dataDir, args = [], keep = false } = {}) {
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
    const ca = fs.readFileSync(path.join(dir, 'ca.pem'));
    const server = {
        ...ports, dataDir: dir, proc, ca, output: () => out,
        async stop() {
            if (proc.exitCode === null) {
                const done = new Promise((r) => proc.once('exit', r));
                proc.kill('SIGTERM');
                await done;
            }
            if (!keep && !dataDir) fs.rmSync(dir, { recursive: true, force: true });
        },
        api: (method, p, opts) => api(server, method, p, opts),
        control: (method, p, body) => control(server, method, p, body),
    };
    return server;
}

export function formBody(fields) {
    const q = new URLSearchParams();
    for (const [k, v] of Object.entries(fields)) {
        if (Array.isArray(v)) v.forEach((x) => q.append(k, String(x)));
        else if (v !== undefined) q.append(k, String(v));
    }
    return q.toString();
}

// One HTTPS request over real TLS, the server's certificate checked against DIR/ca.pem.
export function api(server, method, p, { headers = {}, form, body, host = 'localhost' } = {}) {
    let payload = body;
    const h = { 'App-Ver': '1046', Accept: 'application/json', ...headers };
    if (form !== undefined) {
        payload = formBody(form);
        h['Content-Type'] = 'application/x-www-form-urlencoded';
    } else if (payload === undefined && (method === 'GET' || method === 'DELETE')) {
        h['Content-Type'] = 'text/plain';
    }
    return new Promise((resolve, reject) => {
        const req = https.request({ host, port: server.rest, method, path: p, headers: h, ca: server.ca,
            servername: 'localhost' }, (res) => {
            const chunks = [];
            res.on('data', (c) => chunks.push(c));
            res.on('end', () => {
                const buf = Buffer.concat(chunks);
                let json = null;
                try { json = JSON.parse(buf.toString('utf8')); } catch { /* not JSON */ }
                resolve({ status: res.statusCode, json, body: buf, headers: res.headers });
            });
        });
        req.on('error', reject);
        if (payload !== undefined) req.write(payload);
        req.end();
    });
}

export function control(server, method, p, body) {
    return new Promise((resolve, reject) => {
        const data = body === undefined ? undefined : JSON.stringify(body);
        const req = http.request({ host: '127.0.0.1', port: server.controlPort, method, path: p,
            headers: data ? { 'Content-Type': 'application/json' } : {} }, (res) => {
            let text = '';
            res.on('data', (c) => { text += c; });
            res.on('end', () => {
                let json = null;
                try { json = JSON.parse(text); } catch { /* empty */ }
                if (res.statusCode >= 400) {
                    const err = new Error(`control ${method} ${p}: ${res.statusCode} ${text}`);
                    err.status = res.statusCode;
                    err.json = json;
                    return reject(err);
                }
                resolve(json);
            });
        });
        req.on('error', reject);
        if (data) req.write(data);
        req.end();
    });
}

// The client's login: the digest with "+" written as "%2B" before form encoding.
export async function login(server, account, password = PASSWORD, { deviceId = 'dev-' + account, force, headers = {} } = {}) {
    const passwd = digest(password).replace(/\+/g, '%2B');
    const h = { ...headers };
    if (deviceId) h['Device-Id'] = deviceId;
    const res = await api(server, 'POST', '/rest/auth',
        { form: { loginAccnt: account, passwd, deviceModel: 'PC', forceYn: force ? 1 : 0 }, headers: h });
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

export async function waitFor(fn, { timeout = 5000, interval = 20, what = 'condition' } = {}) {
    const end = Date.now() + timeout;
    for (;;) {
        const v = await fn();
        if (v) return v;
        if (Date.now() > end) throw new Error(`timed out waiting for ${what}`);
        await new Promise((r) => setTimeout(r, interval));
    }
}

export function sleep(ms) {
    return new Promise((r) => setTimeout(r, ms));
}

export function publish(client, topic, payload) {
    return new Promise((resolve, reject) => client.publish(topic, payload, { qos: 1 }, (e) => (e ? reject(e) : resolve())));
}

export function end(client) {
    return new Promise((resolve) => client.end(false, {}, resolve));
}

export function multipartBody(parts, boundary = '----veltri' + crypto.randomBytes(6).toString('hex')) {
    const chunks = [];
    for (const p of parts) {
        chunks.push(Buffer.from(`--${boundary}\r\n`));
        if (p.filename !== undefined) {
            chunks.push(Buffer.from(`Content-Disposition: form-data; name="${p.name}"; filename="${p.filename}"\r\n` +
                'Content-Type: application/octet-stream\r\n\r\n'));
        } else {
            chunks.push(Buffer.from(`Content-Disposition: form-data; name="${p.name}"\r\n\r\n`));
        }
        chunks.push(Buffer.isBuffer(p.value) ? p.value : Buffer.from(String(p.value), 'utf8'));
        chunks.push(Buffer.from('\r\n'));
    }
    chunks.push(Buffer.from(`--${boundary}--\r\n`));
    return { body: Buffer.concat(chunks), contentType: `multipart/form-data; boundary=${boundary}` };
}
