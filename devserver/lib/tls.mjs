// Makes, once per data folder, a CA and a server certificate for localhost and 127.0.0.1 with
// the openssl command-line tool. The client trusts DIR/ca.pem through its configuration.
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';

function openssl(args, cwd) {
    execFileSync('openssl', args, { cwd, stdio: ['ignore', 'ignore', 'pipe'] });
}

export function ensureCertificates(dataDir) {
    const tlsDir = path.join(dataDir, 'tls');
    const caPem = path.join(dataDir, 'ca.pem');
    const keyPem = path.join(tlsDir, 'server.key');
    const certPem = path.join(tlsDir, 'server.pem');
    if (fs.existsSync(caPem) && fs.existsSync(keyPem) && fs.existsSync(certPem)) {
        return { ca: caPem, key: keyPem, cert: certPem, created: false };
    }
    fs.mkdirSync(tlsDir, { recursive: true, mode: 0o700 });
    const ext = path.join(tlsDir, 'server.ext');
    fs.writeFileSync(ext, [
        'basicConstraints=critical,CA:FALSE',
        'keyUsage=critical,digitalSignature,keyEncipherment',
        'extendedKeyUsage=serverAuth',
        'subjectAltName=DNS:localhost,IP:127.0.0.1,IP:::1',
        'subjectKeyIdentifier=hash',
        'authorityKeyIdentifier=keyid,issuer',
        '',
    ].join('\n'));
    openssl(['req', '-x509', '-newkey', 'ec', '-pkeyopt', 'ec_paramgen_curve:prime256v1',
        '-nodes', '-keyout', 'ca.key', '-out', 'ca.pem', '-days', '3650', '-sha256',
        '-subj', '/O=VeltriTalk reference server/CN=VeltriTalk Dev CA',
        '-addext', 'basicConstraints=critical,CA:TRUE',
        '-addext', 'keyUsage=critical,keyCertSign,cRLSign'], tlsDir);
    openssl(['req', '-newkey', 'ec', '-pkeyopt', 'ec_paramgen_curve:prime256v1', '-nodes',
        '-keyout', 'server.key', '-out', 'server.csr', '-subj', '/CN=localhost'], tlsDir);
    openssl(['x509', '-req', '-in', 'server.csr', '-CA', 'ca.pem', '-CAkey', 'ca.key',
        '-CAcreateserial', '-out', 'server.pem', '-days', '825', '-sha256',
        '-extfile', 'server.ext'], tlsDir);
    fs.copyFileSync(path.join(tlsDir, 'ca.pem'), caPem);
    return { ca: caPem, key: keyPem, cert: certPem, created: true };
}

export function writeClientIni(dataDir, restPort, brokerPort) {
    const ini = ['[Server]', 'Host=localhost', `RestPort=${restPort}`, `BrokerPort=${brokerPort}`,
        'CaFile=ca.pem', ''].join('\n');
    const file = path.join(dataDir, 'client.ini');
    fs.writeFileSync(file + '.tmp', ini);
    fs.renameSync(file + '.tmp', file);
    return file;
}
