#include "addresses/URLComponents.h"

#include "util/Text.h"

namespace brell {
namespace {

// Character classes of RFC 3986, section 2 and appendix A.
bool isAlpha(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isHexDigit(char c) {
    return isDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

bool isUnreserved(char c) {
    return isAlpha(c) || isDigit(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

bool isSubDelim(char c) {
    switch (c) {
    case '!':
    case '$':
    case '&':
    case '\'':
    case '(':
    case ')':
    case '*':
    case '+':
    case ',':
    case ';':
    case '=':
        return true;
    default:
        return false;
    }
}

bool isPChar(char c) {
    return isUnreserved(c) || isSubDelim(c) || c == ':' || c == '@';
}

bool isNonASCII(char c) {
    return static_cast<unsigned char>(c) >= 0x80;
}

// Printable ASCII the RFC excludes but that addresses typed by people and reported by
// browsers contain; accepted in the path, query and fragment and percent-encoded there.
bool isLenient(char c) {
    switch (c) {
    case ' ':
    case '"':
    case '<':
    case '>':
    case '^':
    case '`':
    case '{':
    case '|':
    case '}':
    case '[':
    case ']':
        return true;
    default:
        return false;
    }
}

// A fragment ends the address, so a later "#" can only be part of it.
bool isFragmentLenient(char c) {
    return isLenient(c) || c == '#';
}

using Allowed = bool (*)(char);

bool userAllowed(char c) {
    return isUnreserved(c) || isSubDelim(c);
}
bool passwordAllowed(char c) {
    return userAllowed(c) || c == ':';
}
bool pathAllowed(char c) {
    return isPChar(c) || c == '/';
}
bool queryAllowed(char c) {
    return isPChar(c) || c == '/' || c == '?';
}
bool queryNameAllowed(char c) {
    return queryAllowed(c) && c != '&' && c != '=';
}
bool queryValueAllowed(char c) {
    return queryAllowed(c) && c != '&';
}
bool schemeAllowed(char c) {
    return isAlpha(c) || isDigit(c) || c == '+' || c == '-' || c == '.';
}

bool isEscapeAt(std::string_view text, std::size_t i) {
    return i + 2 < text.size() && text[i] == '%' && isHexDigit(text[i + 1]) && isHexDigit(text[i + 2]);
}

void appendEscaped(std::string& out, unsigned char byte) {
    static constexpr char digits[] = "0123456789ABCDEF";
    out += '%';
    out += digits[byte >> 4];
    out += digits[byte & 0x0F];
}

// Checks one component read from an address: escapes must be well formed, `allowed`
// characters stay, `lenient` ones and non-ASCII (already known to be well-formed UTF-8)
// are percent-encoded, anything else refuses the address.
std::optional<std::string> readComponent(std::string_view text, Allowed allowed, Allowed lenient) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%') {
            if (!isEscapeAt(text, i)) {
                return std::nullopt;
            }
            out.append(text.substr(i, 3));
            i += 2;
        } else if (allowed(c)) {
            out += c;
        } else if (lenient(c) || isNonASCII(c)) {
            appendEscaped(out, static_cast<unsigned char>(c));
        } else {
            return std::nullopt;
        }
    }
    return out;
}

// Writes one component: well-formed escapes and `allowed` characters stay, every other
// byte is percent-encoded (non-ASCII stays when `keepNonASCII`).
std::string writeComponent(std::string_view text, Allowed allowed, bool keepNonASCII = false) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (isEscapeAt(text, i)) {
            out.append(text.substr(i, 3));
            i += 2;
        } else if (c != '%' && (allowed(c) || (keepNonASCII && isNonASCII(c)))) {
            out += c;
        } else {
            appendEscaped(out, static_cast<unsigned char>(c));
        }
    }
    return out;
}

bool regNameAllowed(char c) {
    return isUnreserved(c) || isSubDelim(c);
}

// The code point of the well-formed UTF-8 sequence starting at `i`; `i` moves past it.
char32_t nextCodePoint(std::string_view text, std::size_t& i) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char lead = byte(i);
    std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    char32_t c = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        c = (c << 6) | (byte(i + k) & 0x3F);
    }
    i += length;
    return c;
}

// C1 controls and Unicode white space: invisible in a host name, refused by browsers,
// and removed by trimming once they end a composed address.
bool isInvisible(char32_t c) {
    return c <= 0x9F || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 ||
           c == 0x202F || c == 0x205F || c == 0x3000;
}

std::optional<std::string> readRegName(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == '%') {
            if (!isEscapeAt(text, i)) {
                return std::nullopt;
            }
            i += 3;
        } else if (isNonASCII(c)) {
            if (isInvisible(nextCodePoint(text, i))) {
                return std::nullopt;
            }
        } else if (regNameAllowed(c)) {
            ++i;
        } else {
            return std::nullopt;
        }
    }
    return std::string(text);
}

// dec-octet "." dec-octet "." dec-octet "." dec-octet, without leading zeros.
bool isIPv4Address(std::string_view text) {
    int octets = 0;
    std::size_t i = 0;
    while (true) {
        std::size_t start = i;
        int value = 0;
        while (i < text.size() && isDigit(text[i]) && i - start < 3) {
            value = value * 10 + (text[i] - '0');
            ++i;
        }
        std::size_t length = i - start;
        if (length == 0 || value > 255 || (length > 1 && text[start] == '0')) {
            return false;
        }
        ++octets;
        if (octets == 4) {
            return i == text.size();
        }
        if (i >= text.size() || text[i] != '.') {
            return false;
        }
        ++i;
    }
}

// Counts the 16-bit pieces of one side of "::"; -1 when malformed. Only the last piece
// of the address (`mayEndInIPv4`) may be a dotted IPv4 address, counting two.
int ipv6Pieces(std::string_view text, bool mayEndInIPv4) {
    if (text.empty()) {
        return 0;
    }
    int pieces = 0;
    std::size_t start = 0;
    while (true) {
        std::size_t end = text.find(':', start);
        std::string_view piece = text.substr(start, end - start); // to the end when there is no ":"
        bool last = end == std::string_view::npos;
        if (last && mayEndInIPv4 && piece.find('.') != std::string_view::npos) {
            return isIPv4Address(piece) ? pieces + 2 : -1;
        }
        if (piece.empty() || piece.size() > 4) {
            return -1;
        }
        for (char c : piece) {
            if (!isHexDigit(c)) {
                return -1;
            }
        }
        ++pieces;
        if (last) {
            return pieces;
        }
        start = end + 1;
    }
}

bool isIPv6Address(std::string_view text) {
    std::size_t gap = text.find("::");
    if (gap == std::string_view::npos) {
        return ipv6Pieces(text, true) == 8;
    }
    std::string_view before = text.substr(0, gap);
    std::string_view after = text.substr(gap + 2);
    if (after.find("::") != std::string_view::npos) {
        return false;
    }
    int head = ipv6Pieces(before, false);
    int tail = ipv6Pieces(after, true);
    return head >= 0 && tail >= 0 && head + tail <= 7;
}

bool readAuthority(std::string_view authority, URLComponents& out) {
    std::size_t at = authority.find('@');
    if (at != std::string_view::npos) {
        std::string_view userinfo = authority.substr(0, at);
        authority = authority.substr(at + 1);
        if (authority.find('@') != std::string_view::npos) {
            return false;
        }
        std::size_t colon = userinfo.find(':');
        auto user = readComponent(userinfo.substr(0, colon), userAllowed, [](char) { return false; });
        if (!user) {
            return false;
        }
        out.user = std::move(*user);
        if (colon != std::string_view::npos) {
            auto password = readComponent(userinfo.substr(colon + 1), passwordAllowed, [](char) { return false; });
            if (!password) {
                return false;
            }
            out.password = std::move(*password);
        }
    }

    std::string_view portText;
    bool hasPort = false;
    if (!authority.empty() && authority.front() == '[') {
        std::size_t close = authority.find(']');
        if (close == std::string_view::npos) {
            return false;
        }
        std::string_view literal = authority.substr(1, close - 1);
        if (!isIPv6Address(literal)) {
            return false;
        }
        out.host = std::string(literal);
        std::string_view rest = authority.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') {
                return false;
            }
            hasPort = true;
            portText = rest.substr(1);
        }
    } else {
        std::size_t colon = authority.find(':');
        auto host = readRegName(authority.substr(0, colon));
        if (!host) {
            return false;
        }
        out.host = std::move(*host);
        if (colon != std::string_view::npos) {
            hasPort = true;
            portText = authority.substr(colon + 1);
        }
    }

    if (hasPort && !portText.empty()) {
        long value = 0;
        for (char c : portText) {
            if (!isDigit(c)) {
                return false;
            }
            value = value * 10 + (c - '0');
            if (value > 65535) {
                return false;
            }
        }
        out.port = static_cast<int>(value);
    }
    return true;
}

std::vector<URLComponents::QueryItem> splitQuery(std::string_view query) {
    std::vector<URLComponents::QueryItem> items;
    if (query.empty()) {
        return items;
    }
    std::size_t start = 0;
    while (true) {
        std::size_t end = query.find('&', start);
        std::string_view item = query.substr(start, end - start); // to the end after the last "&"
        std::size_t equals = item.find('=');
        URLComponents::QueryItem parsed;
        parsed.name = std::string(item.substr(0, equals));
        if (equals != std::string_view::npos) {
            parsed.value = std::string(item.substr(equals + 1));
        }
        items.push_back(std::move(parsed));
        if (end == std::string_view::npos) {
            return items;
        }
        start = end + 1;
    }
}

} // namespace

std::optional<URLComponents> URLComponents::parse(std::string_view text) {
    if (!Text::isValidUTF8(text)) {
        return std::nullopt;
    }
    URLComponents out;
    std::string_view rest = text;

    // A ":" before any "/", "?" or "#" ends a scheme; a relative reference may not have
    // one in its first segment.
    std::size_t first = rest.find_first_of(":/?#");
    if (first != std::string_view::npos && rest[first] == ':') {
        std::string_view scheme = rest.substr(0, first);
        if (scheme.empty() || !isAlpha(scheme.front())) {
            return std::nullopt;
        }
        for (char c : scheme) {
            if (!schemeAllowed(c)) {
                return std::nullopt;
            }
        }
        out.scheme = std::string(scheme);
        rest = rest.substr(first + 1);
    }

    if (rest.starts_with("//")) {
        rest = rest.substr(2);
        std::size_t end = rest.find_first_of("/?#");
        if (!readAuthority(rest.substr(0, end), out)) {
            return std::nullopt;
        }
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
    }

    std::size_t hash = rest.find('#');
    if (hash != std::string_view::npos) {
        auto fragment = readComponent(rest.substr(hash + 1), queryAllowed, isFragmentLenient);
        if (!fragment) {
            return std::nullopt;
        }
        out.fragment = std::move(*fragment);
        rest = rest.substr(0, hash);
    }
    std::size_t question = rest.find('?');
    if (question != std::string_view::npos) {
        auto query = readComponent(rest.substr(question + 1), queryAllowed, isLenient);
        if (!query) {
            return std::nullopt;
        }
        out.queryItems = splitQuery(*query);
        rest = rest.substr(0, question);
    }
    auto path = readComponent(rest, pathAllowed, isLenient);
    if (!path) {
        return std::nullopt;
    }
    out.path = std::move(*path);
    return out;
}

std::string URLComponents::string() const {
    std::string out;
    if (scheme) {
        out += *scheme;
        out += ':';
    }
    bool authority = host || user || password || port;
    if (authority) {
        out += "//";
        if (user || password) {
            out += writeComponent(user.value_or(""), userAllowed);
            if (password) {
                out += ':';
                out += writeComponent(*password, passwordAllowed);
            }
            out += '@';
        }
        std::string_view hostText = host ? std::string_view(*host) : std::string_view();
        if (hostText.find(':') != std::string_view::npos) {
            out += '[';
            out += hostText;
            out += ']';
        } else {
            out += writeComponent(hostText, regNameAllowed, true);
        }
        if (port) {
            out += ':';
            out += std::to_string(*port);
        }
    }

    std::string pathText = writeComponent(path, pathAllowed);
    if (authority && !pathText.empty() && pathText.front() != '/') {
        pathText.insert(0, "/");
    } else if (!authority && pathText.starts_with("//")) {
        // Would read as an authority.
        pathText.insert(0, "/.");
    } else if (!authority && !scheme) {
        std::size_t slash = pathText.find('/');
        if (pathText.substr(0, slash).find(':') != std::string::npos) {
            // Would read as a scheme.
            pathText.insert(0, "./");
        }
    }
    out += pathText;

    if (auto query = percentEncodedQuery()) {
        out += '?';
        out += *query;
    }
    if (fragment) {
        out += '#';
        out += writeComponent(*fragment, queryAllowed);
    }
    return out;
}

std::optional<std::string> URLComponents::percentEncodedQuery() const {
    if (!queryItems) {
        return std::nullopt;
    }
    std::string out;
    bool firstItem = true;
    for (const QueryItem& item : *queryItems) {
        if (!firstItem) {
            out += '&';
        }
        firstItem = false;
        out += writeComponent(item.name, queryNameAllowed);
        if (item.value) {
            out += '=';
            out += writeComponent(*item.value, queryValueAllowed);
        }
    }
    return out;
}

std::optional<std::string> URLComponents::percentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (!isEscapeAt(text, i)) {
            return std::nullopt;
        }
        out += static_cast<char>(Text::hexDigitValue(text[i + 1]) * 16 + Text::hexDigitValue(text[i + 2]));
        i += 2;
    }
    if (!Text::isValidUTF8(out)) {
        return std::nullopt;
    }
    return out;
}

} // namespace brell
