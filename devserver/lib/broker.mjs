// The embedded MQTT broker: sessions log in with their client id, user id and access key; the
// server decides every subscription (one topic per room of the user); publishing is limited to
// one's own rooms; CHAT echoes carry the server's clock and are kept as history.
import { EventEmitter } from 'node:events';
import net from 'node:net';
import aedesFactory from 'aedes';
import { ContentType, MsgType, REFRESH_TEXT, decode, roomIdOfTopic, roomTopic, withTime } from './protocol.mjs';
import { ROOM_GROUP } from './store.mjs';

const CONNACK_BAD_CREDENTIALS = 4;
const CONNACK_NOT_AUTHORIZED = 5;

function refused(code, message) {
    const err = new Error(message);
    err.returnCode = code;
    return err;
}

export class Broker extends EventEmitter {
    constructor(store, log) {
        super();
        this.store = store;
        this.log = log;
        this.lastTime = 0;
        this.aedes = aedesFactory({
            id: 'veltritalk-devserver',
            authenticate: (client, username, password, cb) => this.authenticate(client, username, password, cb),
            authorizePublish: (client, packet, cb) => this.authorizePublish(client, packet, cb),
            authorizeSubscribe: (client, sub, cb) => this.authorizeSubscribe(client, sub, cb),
            authorizeForward: (client, packet) => this.authorizeForward(client, packet),
            published: (packet, client, cb) => this.published(packet, client, cb),
        });
        this.aedes.on('client', (client) => {
            this.log(`broker: connected clientId=${client.id} clean=${client.clean} version=${client.version}`);
            const sess = client.veltri;
            if (!sess) return;
            this.syncSession(sess).catch((e) => this.log(`broker: sync failed ${e.message}`));
            this.emit('connect', sess);
        });
        this.aedes.on('clientDisconnect', (client) => {
            this.log(`broker: disconnected clientId=${client.id}`);
            if (!client.clean) this.packetIds.set(client.id, client._nextId);
        });
        this.aedes.on('clientError', (client, err) => this.log(`broker: client error clientId=${client.id} ${err.message}`));
        this.servers = [];
        // Where each persistent session's packet ids went on to when its last connection ended.
        this.packetIds = new Map();
    }

    async listen(port) {
        const first = await this.listenOn(port, '127.0.0.1');
        const actual = first.address().port;
        // The client may resolve localhost to ::1 first; answer there too when the host has IPv6.
        await this.listenOn(actual, '::1').catch(() => null);
        return actual;
    }

    listenOn(port, host) {
        return new Promise((resolve, reject) => {
            // Without Nagle's delay: two small packets in a row to one session (a read notice's
            // echo, then the next chat) would otherwise wait for the session's delayed
            // acknowledgement of the first, some 40 ms.
            const server = net.createServer({ noDelay: true }, this.aedes.handle);
            server.once('error', reject);
            server.listen({ port, host }, () => {
                server.removeListener('error', reject);
                this.servers.push(server);
                resolve(server);
            });
        });
    }

    close() {
        for (const s of this.servers) s.close();
        return new Promise((resolve) => this.aedes.close(resolve));
    }

    // Server clock for echoes, strictly increasing so that no two chats share a time.
    now() {
        this.lastTime = Math.max(Date.now(), this.lastTime + 1);
        return this.lastTime;
    }

    authenticate(client, username, password, cb) {
        const sess = this.store.sessionByClientId(client.id);
        const key = password ? password.toString('utf8') : '';
        if (!sess || String(sess.userId) !== String(username) || key !== sess.accessKey) {
            this.log(`broker: refused clientId=${client.id} user=${username}`);
            return cb(refused(CONNACK_BAD_CREDENTIALS, 'bad user name or password'), false);
        }
        if (this.expiry?.idle(sess)) this.expiry.check(sess).catch(() => null);
        if (sess.ended || !this.store.isActiveUser(sess.userId) || this.expiry?.idle(sess)) {
            this.log(`broker: refused ended session clientId=${client.id}`);
            return cb(refused(CONNACK_NOT_AUTHORIZED, 'session ended'), false);
        }
        client.veltri = sess;
        sess.lastSeen = Date.now();
        this.continuePacketIds(client);
        cb(null, true);
    }

    // aedes starts every connection's packet ids at a random point, and messages queued for a
    // persistent session go out again with the ids they had. A new message given the id of an
    // old one still waiting would have its acknowledgement taken for the old one's: the old one
    // leaves the queue unsent and is lost (aedes then finds it gone and closes the connection).
    // So a session's new connection numbers on from where its last one stopped, past ids that
    // deliveries still under way as it closed may have taken.
    continuePacketIds(client) {
        const previous = this.aedes.clients[client.id];
        const last = previous && previous !== client ? previous._nextId : this.packetIds.get(client.id);
        this.packetIds.delete(client.id);
        if (last === undefined) return;
        const margin = 1024;
        client._nextId = ((last - 1 + margin) % 65535) + 1;
    }

    authorizeSubscribe(client, sub, cb) {
        const sess = client.veltri;
        const roomId = roomIdOfTopic(sub.topic);
        if (!sess || roomId === null || !this.store.isMember(roomId, sess.userId)) return cb(null, null);
        cb(null, { topic: sub.topic, qos: 1 });
    }

    authorizeForward(client, packet) {
        const roomId = roomIdOfTopic(packet.topic);
        const sess = client.veltri;
        if (roomId === null || !sess) return packet;
        // Queued messages of a room the user has left since are not handed out any more.
        if (sess.ended || !this.store.isMember(roomId, sess.userId)) return null;
        return packet;
    }

    // A refused publish is acknowledged and dropped rather than answered by closing the
    // connection: a client would otherwise resend it after every reconnect.
    authorizePublish(client, packet, cb) {
        const entry = this.publishLog?.add(client, packet);
        const drop = (why) => {
            if (entry) entry.dropped = why;
            this.log(`broker: dropped publish clientId=${client?.id} topic=${packet.topic} (${why})`);
            packet.topic = `$drop/${why}`;
            packet.retain = false;
            cb(null);
        };
        const sess = client?.veltri;
        if (!sess || sess.ended) return drop('session ended');
        const roomId = roomIdOfTopic(packet.topic);
        if (roomId === null) return drop('not a room topic');
        if (!this.store.isMember(roomId, sess.userId)) return drop('not a member');
        const d = decode(packet.payload);
        if (!d) return drop('payload too short');
        if (d.senderId !== sess.userId) return drop('sender is not the session user');
        packet.retain = false;
        switch (d.type) {
        case MsgType.CHAT: {
            if (d.contentType < ContentType.TEXT || d.contentType > ContentType.FILE) return drop('content type');
            const time = this.now();
            packet.payload = withTime(packet.payload, time);
            if (d.contents !== REFRESH_TEXT) this.keep(roomId, { ...d, time });
            return cb(null);
        }
        case MsgType.LEAVE:
            if (this.store.room(roomId).chattRoomType === ROOM_GROUP) return drop('group rooms cannot be left');
            return cb(null);
        case MsgType.INVITE: case MsgType.ADMISSION:
        case MsgType.ENTERREAD: case MsgType.LEAVEREAD: case MsgType.HEREREAD:
            return cb(null);
        default:
            return drop(`type ${d.type} is the server's`);
        }
    }

    keep(roomId, d) {
        this.store.addChat(roomId, { topic: roomTopic(roomId), msgType: MsgType.CHAT, timestamp: d.time,
            senderId: d.senderId, messageId: d.messageId, contentType: d.contentType, contents: d.contents });
    }

    // Runs after a message went out to the online sessions and was queued for the offline ones.
    published(packet, client, cb) {
        cb();
        const roomId = roomIdOfTopic(packet.topic);
        if (roomId === null) return;
        const d = decode(packet.payload);
        if (!d) return;
        if (client && d.type === MsgType.LEAVE) {
            const room = this.store.room(roomId);
            if (room && this.store.removeRoomMember(room, d.senderId)) {
                this.log(`broker: user ${d.senderId} left room ${roomId}`);
                this.syncUser(d.senderId).catch(() => null);
            }
        }
        this.emit('message', { roomId, d, fromServer: !client });
    }

    publish(topic, payload) {
        return new Promise((resolve, reject) => {
            this.aedes.publish({ cmd: 'publish', topic, payload, qos: 1, retain: false, dup: false },
                (err) => (err ? reject(err) : resolve()));
        });
    }

    client(clientId) {
        const c = this.aedes.clients[clientId];
        return c && !c.closed ? c : null;
    }

    // Sends one message to one session only (the LOGOUT notice).
    sendToClient(clientId, topic, payload) {
        const c = this.client(clientId);
        if (!c) return Promise.resolve(false);
        return new Promise((resolve) => {
            c.publish({ cmd: 'publish', topic, payload, qos: 1, retain: false }, () => resolve(true));
        });
    }

    // Puts messages into a session's queue, ahead of the connect that empties it (called from
    // the 'connect' event, which comes before the connection's queue is sent). Synchronous with
    // the in-memory persistence, so nothing can slip in between.
    enqueue(clientId, items) {
        const { persistence, id } = this.aedes;
        for (const { topic, payload } of items) {
            // Broker id and counter tell the queued packets apart, as aedes's own do.
            persistence.outgoingEnqueue({ clientId }, { cmd: 'publish', topic, payload, qos: 1, retain: false,
                brokerId: id, brokerCounter: ++this.aedes.counter }, () => {});
        }
    }

    // Queues for one session a copy of every message still queued for another: the unsent
    // ones and those sent but not acknowledged.
    async inheritQueue(fromClientId, toClientId) {
        const items = [];
        for await (const p of this.aedes.persistence.outgoingStream({ id: fromClientId })) {
            items.push({ topic: p.topic, payload: p.payload });
        }
        this.enqueue(toClientId, items);
    }

    closeClient(clientId) {
        const c = this.client(clientId);
        if (c) c.close();
    }

    async dropSession(sess) {
        this.closeClient(sess.clientId);
        await new Promise((resolve) => this.aedes.persistence.cleanSubscriptions({ id: sess.clientId }, resolve));
    }

    async syncUser(userId) {
        for (const sess of this.store.liveSessions(userId)) await this.syncSession(sess);
    }

    // Makes the session's subscriptions equal to the topics of the user's rooms, for a connected
    // client through the client itself, for an offline (or not yet connected) persistent session
    // through the broker's persistence, so that messages wait for it.
    async syncSession(sess) {
        const want = new Set(sess.ended ? [] : this.store.userTopics(sess.userId));
        const p = this.aedes.persistence;
        const c = this.client(sess.clientId);
        if (c) {
            const have = Object.keys(c.subscriptions).filter((t) => roomIdOfTopic(t) !== null);
            const add = [...want].filter((t) => !c.subscriptions[t]).map((topic) => ({ topic, qos: 1 }));
            const del = have.filter((t) => !want.has(t));
            if (add.length) await withTimeout((done) => c.subscribe(add, done));
            if (del.length) {
                await withTimeout((done) => c.unsubscribe(del, done));
                if (!c.clean) await withTimeout((done) => p.removeSubscriptions(c, del, done));
            }
            return;
        }
        const fake = { id: sess.clientId };
        const subs = await new Promise((resolve) => p.subscriptionsByClient(fake, (e, s) => resolve(s || [])));
        const have = new Set(subs.map((s) => s.topic));
        const add = [...want].filter((t) => !have.has(t)).map((topic) => ({ topic, qos: 1 }));
        const del = [...have].filter((t) => !want.has(t) && roomIdOfTopic(t) !== null);
        if (add.length) await new Promise((resolve) => p.addSubscriptions(fake, add, resolve));
        if (del.length) await new Promise((resolve) => p.removeSubscriptions(fake, del, resolve));
    }
}

// aedes drops a server-side subscribe silently when the client closes meanwhile.
function withTimeout(fn, ms = 2000) {
    return new Promise((resolve) => {
        const t = setTimeout(resolve, ms);
        fn(() => {
            clearTimeout(t);
            resolve();
        });
    });
}
