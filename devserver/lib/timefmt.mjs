// The directory cache stamps its elements with 14-digit UTC times (yyyyMMddHHmmss).
export const EPOCH_STAMP = '19700101000000';

const pad = (n, w = 2) => String(n).padStart(w, '0');

export function stamp14(ms = Date.now()) {
    const d = new Date(ms);
    return `${pad(d.getUTCFullYear(), 4)}${pad(d.getUTCMonth() + 1)}${pad(d.getUTCDate())}` +
        `${pad(d.getUTCHours())}${pad(d.getUTCMinutes())}${pad(d.getUTCSeconds())}`;
}

export function isStamp14(text) {
    if (!/^\d{14}$/.test(text)) return false;
    const mo = Number(text.slice(4, 6)), d = Number(text.slice(6, 8));
    const h = Number(text.slice(8, 10)), mi = Number(text.slice(10, 12)), s = Number(text.slice(12));
    return mo >= 1 && mo <= 12 && d >= 1 && d <= 31 && h < 24 && mi < 60 && s < 60;
}
