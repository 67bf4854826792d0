// Command line of the reference server.
const USAGE = `usage: node server.mjs --data DIR --rest-port N --broker-port M [--control-port K]
                      [--reset] [--users N] [--demo] [--rate BYTES_PER_SECOND]
                      [--session-idle SECONDS] [--rooms N [--chats M] [--bulk-account ACCOUNT]]`;

function portValue(name, text) {
    const n = Number(text);
    if (!Number.isInteger(n) || n < 0 || n > 65535) throw new Error(`${name}: not a port: ${text}`);
    return n;
}

export function parseArgs(argv) {
    const opts = { data: null, restPort: null, brokerPort: null, controlPort: 0, reset: false,
        users: 300, demo: false, rate: 0, sessionIdle: 0,
        rooms: 0, chats: 0, bulkAccount: 'user001' };
    for (let i = 0; i < argv.length; i++) {
        const a = argv[i];
        const next = () => {
            if (i + 1 >= argv.length) throw new Error(`${a} needs a value`);
            return argv[++i];
        };
        switch (a) {
        case '--data': opts.data = next(); break;
        case '--rest-port': opts.restPort = portValue(a, next()); break;
        case '--broker-port': opts.brokerPort = portValue(a, next()); break;
        case '--control-port': opts.controlPort = portValue(a, next()); break;
        case '--reset': opts.reset = true; break;
        case '--demo': opts.demo = true; break;
        case '--rate': {
            const n = Number(next());
            if (!Number.isInteger(n) || n < 0) throw new Error('--rate: bytes per second, 0 or more');
            opts.rate = n;
            break;
        }
        case '--session-idle': {
            const n = Number(next());
            if (!Number.isFinite(n) || n < 0) throw new Error('--session-idle: seconds, 0 or more');
            opts.sessionIdle = n;
            break;
        }
        case '--rooms': case '--chats': {
            const n = Number(next());
            if (!Number.isInteger(n) || n < 0 || n > 2000000) throw new Error(`${a}: a whole number, 0 or more`);
            opts[a.slice(2)] = n;
            break;
        }
        case '--bulk-account': opts.bulkAccount = next(); break;
        case '--users': {
            const n = Number(next());
            if (!Number.isInteger(n) || n < 12 || n > 200000) throw new Error('--users: 12 to 200000');
            opts.users = n;
            break;
        }
        case '-h': case '--help': throw new Error(USAGE);
        default: throw new Error(`unknown option ${a}\n${USAGE}`);
        }
    }
    if (!opts.data || opts.restPort === null || opts.brokerPort === null) throw new Error(USAGE);
    if (opts.chats && !opts.rooms) throw new Error('--chats needs --rooms');
    return opts;
}
