// The phone page's request reader, its routes and the head of its replies.
// The server is read-only and small: anything it cannot read with certainty
// (a chunked body, a folded header, two Hosts) ends the connection with 400,
// since a lenient reader is where request smuggling begins.
#include "driver/phone_http.h"
#include <cstdio>
#include <cstring>

static bool IsTokenChar(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return c && strchr("!#$%&'*+-.^_`|~", c) != nullptr;
}
static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
static char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

static bool EqualsNoCase(const char* a, size_t length, const char* b) {
    size_t n = strlen(b);
    if (length != n) return false;
    for (size_t i = 0; i < n; i++)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

// Where the head ends (after its empty line), or 0 while it has not ended.
static size_t HeadEnd(const char* data, size_t length) {
    for (size_t i = 0; i < length; i++) {
        if (data[i] != '\n') continue;
        if (i + 1 < length && data[i + 1] == '\n') return i + 2;
        if (i + 2 < length && data[i + 1] == '\r' && data[i + 2] == '\n') return i + 3;
    }
    return 0;
}

// One line of the head: [start, end) without its line end; next is the
// following line. False at the end of the head.
static bool NextLine(const char* data, size_t headEnd, size_t* position, size_t* start, size_t* end) {
    size_t i = *position;
    if (i >= headEnd) return false;
    *start = i;
    while (i < headEnd && data[i] != '\n') i++;
    size_t stop = i;
    if (stop > *start && data[stop - 1] == '\r') stop--;
    *end = stop;
    *position = i + 1;
    return true;
}

static bool DottedQuad(const char* text, size_t length) {
    int parts = 0;
    size_t i = 0;
    while (parts < 4) {
        size_t digits = 0;
        unsigned value = 0;
        while (i < length && IsDigit(text[i]) && digits < 4) value = value * 10 + unsigned(text[i++] - '0'), digits++;
        if (digits == 0 || digits > 3 || value > 255) return false;
        parts++;
        if (parts < 4) {
            if (i >= length || text[i] != '.') return false;
            i++;
        }
    }
    return i == length;
}

static bool ValidPort(const char* text, size_t length) {
    if (length == 0 || length > 5) return false;
    unsigned value = 0;
    for (size_t i = 0; i < length; i++) {
        if (!IsDigit(text[i])) return false;
        value = value * 10 + unsigned(text[i] - '0');
    }
    return value <= 65535;
}

bool PhoneHostAllowed(const char* value, size_t length) {
    if (length == 0) return false;
    size_t hostLength = length;
    if (value[0] == '[') {
        size_t close = 1;
        bool colon = false;
        while (close < length && value[close] != ']') {
            char c = Lower(value[close]);
            if (!(IsDigit(c) || (c >= 'a' && c <= 'f') || c == ':' || c == '.')) return false;
            colon |= c == ':';
            close++;
        }
        if (close >= length || !colon) return false;
        hostLength = close + 1;
        if (hostLength == length) return true;
        return value[hostLength] == ':' && ValidPort(value + hostLength + 1, length - hostLength - 1);
    }
    const char* colon = static_cast<const char*>(memchr(value, ':', length));
    if (colon) {
        hostLength = size_t(colon - value);
        if (!ValidPort(colon + 1, length - hostLength - 1)) return false;
    }
    return DottedQuad(value, hostLength) || EqualsNoCase(value, hostLength, "localhost");
}

static void Trim(const char* data, size_t* start, size_t* end) {
    while (*start < *end && (data[*start] == ' ' || data[*start] == '\t')) (*start)++;
    while (*end > *start && (data[*end - 1] == ' ' || data[*end - 1] == '\t')) (*end)--;
}

// A "Connection" list: close and keep-alive, case-blind, anywhere in it.
static void ReadConnection(const char* value, size_t length, bool* close, bool* keepAlive) {
    size_t i = 0;
    while (i < length) {
        size_t start = i;
        while (i < length && value[i] != ',') i++;
        size_t end = i++;
        Trim(value, &start, &end);
        if (EqualsNoCase(value + start, end - start, "close")) *close = true;
        if (EqualsNoCase(value + start, end - start, "keep-alive")) *keepAlive = true;
    }
}

static PhoneMethod MethodOf(const char* text, size_t length) {
    if (length == 3 && memcmp(text, "GET", 3) == 0) return PHONE_GET;
    if (length == 4 && memcmp(text, "HEAD", 4) == 0) return PHONE_HEAD;
    return PHONE_OTHER_METHOD;
}

// "METHOD /target HTTP/1.x": the method, the path without its query, the minor version.
static bool ReadRequestLine(const char* line, size_t length, PhoneRequest* request, int* minor) {
    size_t i = 0;
    while (i < length && IsTokenChar(line[i])) i++;
    if (i == 0 || i > 16 || i >= length || line[i] != ' ') return false;
    request->method = MethodOf(line, i);
    size_t target = ++i;
    while (i < length && line[i] != ' ') i++;
    if (i == target || i >= length) return false;
    size_t targetEnd = i++;
    if (length - i != 8 || memcmp(line + i, "HTTP/1.", 7) != 0 || (line[i + 7] != '0' && line[i + 7] != '1'))
        return false;
    *minor = line[i + 7] - '0';
    size_t pathEnd = target;
    while (pathEnd < targetEnd && line[pathEnd] != '?' && line[pathEnd] != '#') pathEnd++;
    size_t pathLength = pathEnd - target;
    if (line[target] == '/' && pathLength < sizeof request->path) {
        memcpy(request->path, line + target, pathLength);
        request->path[pathLength] = 0;
    }
    return true;
}

PhoneParse ParsePhoneRequest(const char* data, size_t length, PhoneRequest* request) {
    *request = PhoneRequest{};
    // Empty lines before a request are allowed (RFC 9112, 2.2).
    size_t skip = 0;
    while (skip < length && skip < PHONE_HEAD_MAX && (data[skip] == '\r' || data[skip] == '\n')) skip++;
    size_t window = length < PHONE_HEAD_MAX ? length : PHONE_HEAD_MAX;
    size_t headEnd = skip < window ? HeadEnd(data + skip, window - skip) : 0;
    if (!headEnd) return length >= PHONE_HEAD_MAX ? PHONE_TOO_LARGE : PHONE_INCOMPLETE;
    headEnd += skip;
    for (size_t i = skip; i < headEnd; i++) {
        unsigned char c = static_cast<unsigned char>(data[i]);
        if ((c < 0x20 && c != '\r' && c != '\n' && c != '\t') || c == 0x7F) return PHONE_MALFORMED;
    }
    size_t position = skip, start, end;
    int minor = 0;
    if (!NextLine(data, headEnd, &position, &start, &end) ||
        !ReadRequestLine(data + start, end - start, request, &minor))
        return PHONE_MALFORMED;
    int hosts = 0, lengths = 0;
    bool close = false, keepAlive = false;
    size_t bodyLength = 0;
    request->hostAllowed = true;
    while (NextLine(data, headEnd, &position, &start, &end) && end > start) {
        size_t name = start;
        while (name < end && IsTokenChar(data[name])) name++;
        if (name == start || name >= end || data[name] != ':') return PHONE_MALFORMED;  // also a folded line
        size_t valueStart = name + 1, valueEnd = end;
        Trim(data, &valueStart, &valueEnd);
        const char* header = data + start;
        size_t nameLength = name - start;
        if (EqualsNoCase(header, nameLength, "host")) {
            hosts++;
            request->hostAllowed = PhoneHostAllowed(data + valueStart, valueEnd - valueStart);
        } else if (EqualsNoCase(header, nameLength, "connection")) {
            ReadConnection(data + valueStart, valueEnd - valueStart, &close, &keepAlive);
        } else if (EqualsNoCase(header, nameLength, "content-length")) {
            lengths++;
            if (valueEnd == valueStart || valueEnd - valueStart > 5) return PHONE_MALFORMED;
            bodyLength = 0;
            for (size_t i = valueStart; i < valueEnd; i++) {
                if (!IsDigit(data[i])) return PHONE_MALFORMED;
                bodyLength = bodyLength * 10 + size_t(data[i] - '0');
            }
        } else if (EqualsNoCase(header, nameLength, "transfer-encoding")) {
            return PHONE_MALFORMED;
        }
    }
    if (hosts > 1 || (minor == 1 && hosts == 0) || lengths > 1 || bodyLength > PHONE_BODY_MAX) return PHONE_MALFORMED;
    request->keepAlive = minor == 1 ? !close : keepAlive && !close;
    if (length - headEnd < bodyLength) return PHONE_INCOMPLETE;
    request->length = headEnd + bodyLength;
    return PHONE_COMPLETE;
}

PhoneRoute RoutePhoneRequest(const PhoneRequest* request) {
    if (!request->hostAllowed) return {PHONE_NONE, 403};
    PhoneResource resource = PHONE_NONE;
    if (strcmp(request->path, "/") == 0) resource = PHONE_PAGE;
    if (strcmp(request->path, "/signal") == 0) resource = PHONE_SIGNAL;
    if (strcmp(request->path, "/events") == 0) resource = PHONE_EVENTS;
    if (resource == PHONE_NONE) return {PHONE_NONE, 404};
    if (request->method == PHONE_OTHER_METHOD) return {PHONE_NONE, 405};
    return {resource, 200};
}

const char* PhoneStatusReason(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 408:
            return "Request Timeout";
        case 431:
            return "Request Header Fields Too Large";
        case 503:
            return "Service Unavailable";
        default:
            return "Internal Server Error";
    }
}

size_t FormatPhoneHead(char* out, size_t size, int status, const char* contentType, size_t contentLength,
                       bool eventStream, bool keepAlive) {
    char length[48] = "";
    if (!eventStream) snprintf(length, sizeof length, "Content-Length: %lu\r\n", (unsigned long)contentLength);
    // The page may load nothing from elsewhere: a network without internet
    // is where it is used, and nothing else should run inside it. It needs
    // its own script and style, and its event stream; the video that keeps
    // the screen on plays a stream the page makes, which no policy names.
    const char* policy = strncmp(contentType, "text/html", 9) == 0
                             ? "Content-Security-Policy: default-src 'none'; script-src 'unsafe-inline'; "
                               "style-src 'unsafe-inline'; connect-src 'self'\r\n"
                             : "";
    int n = snprintf(out, size,
                     "HTTP/1.1 %d %s\r\nContent-Type: %s\r\n%sCache-Control: no-store\r\n"
                     "X-Content-Type-Options: nosniff\r\n%s%sConnection: %s\r\n\r\n",
                     status, PhoneStatusReason(status), contentType, length, policy,
                     status == 405 ? "Allow: GET, HEAD\r\n" : "", keepAlive ? "keep-alive" : "close");
    return n > 0 && size_t(n) < size ? size_t(n) : 0;
}

PhoneSwitch ParsePhoneSettings(const char* text, size_t length, PhoneSettings* settings) {
    *settings = PhoneSettings{};
    bool inPhone = false, hasPort = false, bad = false;
    size_t i = 0;
    while (i < length) {
        size_t start = i;
        while (i < length && text[i] != '\n') i++;
        size_t end = i++;
        for (size_t c = start; c < end; c++)
            if (text[c] == ';' || text[c] == '#') end = c;
        Trim(text, &start, &end);
        if (end > start && text[end - 1] == '\r') end--;
        Trim(text, &start, &end);
        if (start == end) continue;
        if (text[start] == '[') {
            inPhone = EqualsNoCase(text + start, end - start, "[phone]");
            continue;
        }
        const char* equals = static_cast<const char*>(memchr(text + start, '=', end - start));
        if (!inPhone || !equals) continue;
        size_t keyEnd = size_t(equals - text), valueStart = keyEnd + 1, valueEnd = end;
        Trim(text, &start, &keyEnd);
        Trim(text, &valueStart, &valueEnd);
        const char* value = text + valueStart;
        size_t valueLength = valueEnd - valueStart;
        if (EqualsNoCase(text + start, keyEnd - start, "port")) {
            hasPort = true;
            unsigned port = 0;
            bool digits = valueLength > 0 && valueLength <= 5;
            for (size_t c = 0; digits && c < valueLength; c++) {
                digits = IsDigit(value[c]);
                port = port * 10 + unsigned(value[c] - '0');
            }
            if (!digits || port == 0 || port > 65535)
                bad = true;
            else
                settings->port = uint16_t(port);
        } else if (EqualsNoCase(text + start, keyEnd - start, "listen")) {
            if (valueLength && !DottedQuad(value, valueLength))
                bad = true;
            else
                memcpy(settings->listen, value, valueLength), settings->listen[valueLength] = 0;
        }
    }
    if (!hasPort) return PHONE_OFF;
    return bad ? PHONE_SETTINGS_BAD : PHONE_ON;
}
