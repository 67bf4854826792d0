// Error bodies of the REST side: {code, message, developerMessage[, link]} with an HTTP status
// that is not 200, so the client sees a network error with a body.
export const Err = Object.freeze({
    MISSING_PARAM: [400, 40001, 'A required parameter is missing.'],
    BAD_PARAM: [400, 40002, 'A parameter is not valid.'],
    PASSWORD_CONFIRM: [400, 40003, 'The new password does not match its confirmation.'],
    PASSWORD_POLICY: [400, 40004, 'The password must be between 9 and 20 characters.'],
    INVITE_REFUSED: [400, 40005, 'The invitation was refused.'],
    NOT_ALLOWED: [400, 40006, 'This operation is not allowed for this room.'],
    BAD_UPLOAD: [400, 40007, 'The upload is not a valid multipart form.'],
    NO_KEYS: [401, 40100, 'Authentication required.'],
    BAD_LOGIN: [401, 40101, 'The account or the password is wrong.'],
    LOGGED_IN_ELSEWHERE: [409, 40102, 'You are already logged in on another PC.'],
    WRONG_PASSWORD: [400, 40103, 'The current password is wrong.'],
    SESSION_ENDED: [401, 40104, 'Your session has ended. Please log in again.'],
    VERSION_REFUSED: [426, 40106, 'A newer version of the program is required.'],
    ACCOUNT_REMOVED: [401, 40108, 'Your account has been removed.'],
    FORBIDDEN: [403, 40300, 'You are not allowed to do this.'],
    NOT_MEMBER: [403, 40301, 'You are not a member of this room.'],
    NO_ROOM: [404, 40400, 'The chat room does not exist.'],
    NO_GROUP: [404, 40401, 'The group does not exist.'],
    NO_USER: [404, 40402, 'The user does not exist.'],
    NO_PATH: [404, 40404, 'Not found.'],
    TOO_LARGE: [413, 41300, 'The file is larger than 50 MB.'],
    SERVER: [500, 50000, 'Internal server error.'],
});

export class ApiError extends Error {
    constructor(kind, developerMessage = '', { message, link } = {}) {
        super(message || kind[2]);
        [this.status, this.code] = kind;
        this.developerMessage = developerMessage || this.message;
        this.link = link;
    }

    body() {
        const b = { code: this.code, message: this.message, developerMessage: this.developerMessage };
        if (this.link !== undefined) b.link = this.link;
        return b;
    }
}

export function sendApiError(reply, err) {
    return reply.code(err.status).type('application/json; charset=utf-8').send(err.body());
}
