// Reference chat server for the client's tests and demo: REST over HTTPS, an embedded MQTT
// broker and a loopback control interface, on one data folder.
//
//   node devserver/server.mjs --data DIR --rest-port N --broker-port M [--control-port K]
//                             [--reset] [--users N] [--demo] [--rate B] [--session-idle S]
//                             [--rooms N [--chats M] [--bulk-account A]]
import fs from 'node:fs';
import net from 'node:net';
import path from 'node:path';
import { parseArgs } from './lib/args.mjs';
import { Broker } from './lib/broker.mjs';
import { Bulk } from './lib/bulk.mjs';
import { buildControl } from './lib/control.mjs';
import { DemoBot } from './lib/demobot.mjs';
import { SessionExpiry } from './lib/expiry.mjs';
import { Faults } from './lib/faults.mjs';
import { Files } from './lib/files.mjs';
import { Ops } from './lib/ops.mjs';
import { RateLimit } from './lib/rate.mjs';
import { PublishLog } from './lib/publishlog.mjs';
import { RequestLog } from './lib/requestlog.mjs';
import { buildRest } from './lib/rest.mjs';
import { Store } from './lib/store.mjs';
import { ensureCertificates, writeClientIni } from './lib/tls.mjs';

function log(line) {
    process.stdout.write(`${new Date().toISOString()} ${line}\n`);
}

// The client may resolve localhost to ::1 first: pass connections there on to the HTTPS
// listener (TLS goes through untouched; the certificate names ::1 too). Hosts without IPv6
// simply do without.
function mirrorOnIpv6(port) {
    return new Promise((resolve) => {
        const server = net.createServer((socket) => {
            const upstream = net.connect(port, '127.0.0.1');
            socket.pipe(upstream).pipe(socket);
            const drop = () => { socket.destroy(); upstream.destroy(); };
            socket.on('error', drop);
            upstream.on('error', drop);
        });
        server.once('error', () => resolve(null));
        server.listen({ port, host: '::1' }, () => resolve(server));
    });
}

// --rooms/--chats make the account's rooms once per data folder: a restart with the same
// numbers keeps what is there (the deliveries waiting in memory are gone, as queues are).
async function bulkFromCommandLine(opts, store, bulk) {
    if (!opts.rooms) return;
    const made = `${opts.rooms}/${opts.chats}`;
    if (!store.s.bulkMade) store.s.bulkMade = {};
    if (store.s.bulkMade[opts.bulkAccount] === made) return;
    await bulk.generate({ account: opts.bulkAccount, rooms: opts.rooms, chats: opts.chats });
    store.s.bulkMade[opts.bulkAccount] = made;
    store.changed();
}

async function main() {
    let opts;
    try {
        opts = parseArgs(process.argv.slice(2));
    } catch (e) {
        process.stderr.write(`${e.message}\n`);
        process.exit(2);
    }
    opts.usersGiven = process.argv.includes('--users');
    const dataDir = path.resolve(opts.data);
    fs.mkdirSync(dataDir, { recursive: true });
    const tls = ensureCertificates(dataDir);
    if (opts.reset) {
        for (const sub of ['files', 'pictures', 'tmp']) fs.rmSync(path.join(dataDir, sub), { recursive: true, force: true });
    }
    const started = Date.now();
    const store = new Store(dataDir).open({ reset: opts.reset, users: opts.users, usersGiven: opts.usersGiven });
    log(`state: ${store.seeded ? 'seeded' : 'loaded'} ${Object.keys(store.s.users).length} users, ` +
        `${Object.keys(store.s.groups).length} groups, ${Object.keys(store.s.rooms).length} rooms in ${Date.now() - started} ms`);
    const files = new Files(dataDir, store);
    files.ensureSeedFiles();
    const requestLog = new RequestLog();
    const faults = new Faults();
    const rate = new RateLimit(opts.rate);
    const broker = new Broker(store, log);
    broker.publishLog = new PublishLog();
    const brokerPort = await broker.listen(opts.brokerPort);
    const ops = new Ops({ store, broker, files, log, restPort: opts.restPort });
    const expiry = new SessionExpiry({ store, ops, log }, opts.sessionIdle);
    ops.expiry = expiry;
    broker.expiry = expiry;
    const bulk = new Bulk({ store, broker, log });
    await bulkFromCommandLine(opts, store, bulk);
    const rest = buildRest({ store, ops, files, tls, requestLog, faults, rate, expiry, log });
    requestLog.watch(rest.server);
    await rest.listen({ port: opts.restPort, host: '127.0.0.1' });
    const restPort = rest.server.address().port;
    await mirrorOnIpv6(restPort);
    ops.restPort = restPort;
    const bot = new DemoBot({ store, broker, ops, log });
    bot.enabled = opts.demo;
    // The demo shows what the client does with a room's history: server history on (option 950),
    // unless it is already; the control interface can still switch it off.
    if (opts.demo && store.s.custOpts['950']?.optValue !== '1') store.setOption('950', '1');
    const info = () => ({ dataDir, restPort, brokerPort, controlPort });
    const control = buildControl({ store, ops, broker, requestLog, faults, rate, expiry, bulk, bot, info, log });
    await control.listen({ port: opts.controlPort, host: '127.0.0.1' });
    const controlPort = control.server.address().port;
    writeClientIni(dataDir, restPort, brokerPort);

    let stopping = false;
    const stop = async (signal) => {
        if (stopping) return;
        stopping = true;
        log(`stopping (${signal})`);
        faults.release();
        store.saveNow();
        await Promise.race([Promise.all([rest.close(), control.close(), broker.close()]),
            new Promise((r) => setTimeout(r, 1500))]);
        process.exit(0);
    };
    process.on('SIGTERM', () => stop('SIGTERM'));
    process.on('SIGINT', () => stop('SIGINT'));

    process.stdout.write(`REST ${restPort}\nBROKER ${brokerPort}\nCONTROL ${controlPort}\n`);
    process.stdout.write(`DATA ${dataDir}\n`);
    process.stdout.write('READY\n');
}

main().catch((e) => {
    process.stderr.write(`devserver: ${e.stack || e}\n`);
    process.exit(1);
});
