// Uploaded files, thumbnails and generated pictures under DIR/files and DIR/pictures. Names on
// disk are made by the server; a name from a request is only ever used as a label.
import fs from 'node:fs';
import path from 'node:path';
import { avatarPng, imageKind, imageSize, samplePicture, thumbnailPng } from './images.mjs';
import { seedDocument } from './seed.mjs';

export const FILE_SIZE_LIMIT = 52428800;

const TYPES = { png: 'image/png', jpg: 'image/jpeg', jpeg: 'image/jpeg', gif: 'image/gif',
    bmp: 'image/bmp', txt: 'text/plain; charset=utf-8', text: 'text/plain; charset=utf-8',
    csv: 'text/csv; charset=utf-8', pdf: 'application/pdf', zip: 'application/zip',
    mp4: 'video/mp4', mp3: 'audio/mpeg', exe: 'application/octet-stream' };

// The last path component of a name from a peer, without control characters; never empty.
export function sanitizeFileName(name) {
    const last = String(name || '').split(/[\\/]/).pop().replace(/[\u0000-\u001f\u007f]/g, '').trim();
    if (!last || last === '.' || last === '..') return 'file';
    return last.slice(0, 200);
}

export function extensionOf(name) {
    const m = /\.([A-Za-z0-9]{1,8})$/.exec(name);
    return m ? m[1].toLowerCase() : 'bin';
}

export function contentTypeOf(name) {
    return TYPES[extensionOf(name)] || 'application/octet-stream';
}

const SAFE_NAME = /^[A-Za-z0-9][A-Za-z0-9._-]{0,120}$/;

export class Files {
    constructor(dataDir, store) {
        this.store = store;
        this.dir = path.join(dataDir, 'files');
        this.picDir = path.join(dataDir, 'pictures');
        this.tmpDir = path.join(dataDir, 'tmp');
        for (const d of [this.dir, this.picDir, this.tmpDir]) fs.mkdirSync(d, { recursive: true });
    }

    ensureSeedFiles() {
        for (let n = 1; n <= 5; n++) {
            const file = path.join(this.dir, `seedpic${n}.png`);
            if (fs.existsSync(file)) continue;
            const pic = samplePicture(1000 + n);
            fs.writeFileSync(file, pic);
            fs.writeFileSync(path.join(this.dir, `seedpic${n}_t.png`), thumbnailPng(pic).png);
        }
        for (let n = 1; n <= 3; n++) {
            const file = path.join(this.dir, `seeddoc${n}.txt`);
            if (!fs.existsSync(file)) fs.writeFileSync(file, seedDocument(n));
        }
    }

    tmpPath() {
        return path.join(this.tmpDir, `up-${process.pid}-${Date.now()}-${Math.random().toString(16).slice(2)}`);
    }

    // Files a finished upload (already on disk at tmpFile) and makes its thumbnail.
    adopt(tmpFile, { ownerId, orgFileName, contentType, width = 0, height = 0, picture = false }) {
        const fileKey = this.store.newFileKey();
        const name = `${fileKey}.${extensionOf(orgFileName)}`;
        const target = path.join(this.dir, name);
        fs.renameSync(tmpFile, target);
        const rec = { fileKey, ownerId, orgFileName, contentType, fileSize: fs.statSync(target).size,
            webUrl: `/files/${name}`, thumbUrl: '', imageUrl: '', width: Number(width) || 0,
            height: Number(height) || 0, createdAt: Date.now() };
        if (picture) {
            const buf = fs.readFileSync(target);
            const size = imageSize(buf);
            if (size) ({ width: rec.width, height: rec.height } = size);
            const thumb = imageKind(buf) ? thumbnailPng(buf) : null;
            if (thumb) {
                fs.writeFileSync(path.join(this.dir, `${fileKey}_t.png`), thumb.png);
                rec.thumbUrl = `/files/${fileKey}_t.png`;
            } else {
                rec.thumbUrl = rec.webUrl; // no decoder for it here: the original serves as thumbnail
            }
            rec.imageUrl = rec.webUrl;
        }
        return this.store.addFile(rec);
    }

    storeBuffer(buf, meta) {
        const tmp = this.tmpPath();
        fs.writeFileSync(tmp, buf);
        return this.adopt(tmp, meta);
    }

    // Path and type of a file served under /files or /pictures, or null.
    resolve(kind, name) {
        if (!SAFE_NAME.test(name) || name.includes('..')) return null;
        if (kind === 'files') {
            const file = path.join(this.dir, name);
            return fs.existsSync(file) ? { file, type: contentTypeOf(name) } : null;
        }
        const m = /^([ug])(\d{1,9})_(\d{1,6})(_t)?\.png$/.exec(name);
        if (!m) return null;
        const file = path.join(this.picDir, name);
        if (!fs.existsSync(file)) {
            if (m[1] === 'u' && !this.store.user(Number(m[2]))) return null;
            if (m[1] === 'g' && !this.store.group(Number(m[2]))) return null;
            fs.writeFileSync(file, avatarPng(`${m[1]}${m[2]}_${m[3]}`, m[4] ? 64 : 256));
        }
        return { file, type: 'image/png' };
    }
}

// The "installer" behind an update link: deterministic bytes, so a download can be checked —
// a line naming the package, then a 256-byte pattern repeated. `size` gives the whole length
// (the default is the line plus 64 KiB).
const PATTERN = Buffer.from(Array.from({ length: 256 }, (_, i) => (i * 31 + 7) & 0xff));
let lastPackage = null;

export function updatePackage(name, size = null) {
    const head = Buffer.from(`VeltriTalk update package ${name}\n`, 'utf8');
    const total = size === null ? head.length + 64 * 1024 : size;
    if (lastPackage?.name === name && lastPackage.buf.length === total) return lastPackage.buf;
    const buf = Buffer.alloc(total);
    buf.fill(PATTERN, Math.min(head.length, total));
    head.copy(buf, 0, 0, Math.min(head.length, total));
    lastPackage = { name, buf };
    return buf;
}
