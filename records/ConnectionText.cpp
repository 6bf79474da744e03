#include "records/ConnectionText.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {
constexpr const char* kHidden = "***";

// Where one secret stands in a connection text, and the value libpq makes of it.
struct Secret {
    std::size_t begin = 0, end = 0;
    std::string value;
};

bool Space(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

bool SameWord(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// Any case: libpq would refuse "Password=", but what the user typed is hidden all the same.
bool IsSecretKeyword(const std::string& keyword) {
    const auto& secrets = SecretKeywords();
    return std::any_of(secrets.begin(), secrets.end(),
                       [&keyword](const std::string& s) { return SameWord(s, keyword); });
}

std::string PercentDecoded(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() &&
            std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
            out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

bool IsUri(const std::string& s) {
    return s.rfind("postgresql://", 0) == 0 || s.rfind("postgres://", 0) == 0;
}

// A URI's secrets: the password of its user information, taken as far as the last '@' so that
// a password with an '@' (or '/') that should have been percent-encoded is still hidden whole,
// and the secret parameters of its query.
std::vector<Secret> UriSecrets(const std::string& s) {
    std::vector<Secret> found;
    const std::size_t authority = s.find("://") + 3;
    std::size_t queryFrom = authority;
    const std::size_t at = s.rfind('@');
    const std::size_t colon = s.find(':', authority);
    if (at != std::string::npos && at >= authority && colon != std::string::npos && colon < at) {
        found.push_back({colon + 1, at, PercentDecoded(s.substr(colon + 1, at - colon - 1))});
        queryFrom = at + 1;
    }
    const std::size_t query = s.find('?', queryFrom);
    for (std::size_t begin = query; begin != std::string::npos && begin < s.size();) {
        ++begin;  // past '?' or '&'
        const std::size_t end = std::min(s.find('&', begin), s.size());
        const std::size_t equals = s.find('=', begin);
        if (equals < end && IsSecretKeyword(PercentDecoded(s.substr(begin, equals - begin))))
            found.push_back(
                {equals + 1, end, PercentDecoded(s.substr(equals + 1, end - equals - 1))});
        begin = end;
    }
    return found;
}

// A keyword/value string's secret values, read as libpq reads them: keyword, '=', then a value
// that is bare up to the next space or in single quotes, a backslash taking the next character
// as it is.
std::vector<Secret> KeywordSecrets(const std::string& s) {
    std::vector<Secret> found;
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && Space(s[i]))
            ++i;
        const std::size_t keyword = i;
        while (i < s.size() && s[i] != '=' && !Space(s[i]))
            ++i;
        const std::string name = s.substr(keyword, i - keyword);
        while (i < s.size() && Space(s[i]))
            ++i;
        if (i >= s.size() || s[i] != '=') continue;  // libpq refuses it; the next word
        ++i;
        while (i < s.size() && Space(s[i]))
            ++i;
        Secret value;
        value.begin = i;
        const bool quoted = i < s.size() && s[i] == '\'';
        if (quoted) ++i;
        while (i < s.size() && (quoted ? s[i] != '\'' : !Space(s[i]))) {
            if (s[i] == '\\' && i + 1 < s.size()) ++i;
            value.value += s[i++];
        }
        if (quoted && i < s.size()) ++i;  // the closing quote
        value.end = i;
        if (IsSecretKeyword(name)) found.push_back(std::move(value));
    }
    return found;
}

std::vector<Secret> Secrets(const std::string& connection) {
    return IsUri(connection) ? UriSecrets(connection) : KeywordSecrets(connection);
}
}  // namespace

const std::vector<std::string>& SecretKeywords() {
    static const std::vector<std::string> keywords = [] {
        std::vector<std::string> found = {"password", "sslpassword"};
        PQconninfoOption* options = PQconndefaults();
        for (const PQconninfoOption* o = options; o && o->keyword; ++o) {
            if (o->dispchar && std::strchr(o->dispchar, '*') &&
                std::find(found.begin(), found.end(), o->keyword) == found.end())
                found.emplace_back(o->keyword);
        }
        PQconninfoFree(options);
        return found;
    }();
    return keywords;
}

std::string RedactConnection(const std::string& connection) {
    std::string s = connection;
    const std::vector<Secret> found = Secrets(connection);
    // From the last, so that the earlier places stay where they were found.
    for (auto it = found.rbegin(); it != found.rend(); ++it)
        s.replace(it->begin, it->end - it->begin, kHidden);
    return s;
}

std::vector<std::string> ConnectionSecrets(const std::string& connection) {
    std::vector<std::string> secrets;
    auto add = [&secrets](const std::string& secret) {
        if (!secret.empty() && std::find(secrets.begin(), secrets.end(), secret) == secrets.end())
            secrets.push_back(secret);
    };
    for (const Secret& s : Secrets(connection)) {
        add(connection.substr(s.begin, s.end - s.begin));
        add(s.value);
    }
    // What libpq itself makes of the text, should it read a form the scan above does not.
    char* message = nullptr;
    if (PQconninfoOption* options = PQconninfoParse(connection.c_str(), &message)) {
        for (const PQconninfoOption* o = options; o->keyword; ++o)
            if (o->val && IsSecretKeyword(o->keyword)) add(o->val);
        PQconninfoFree(options);
    }
    PQfreemem(message);
    // libpq does not quote these, but a text that somehow did would be scrubbed too.
    PQconninfoOption* defaults = PQconndefaults();
    for (const PQconninfoOption* o = defaults; o && o->keyword; ++o) {
        if (!IsSecretKeyword(o->keyword) || !o->envvar) continue;
        if (const char* value = std::getenv(o->envvar)) add(value);
    }
    PQconninfoFree(defaults);
    return secrets;
}

std::string ScrubSecrets(std::string text, const std::vector<std::string>& secrets) {
    // The longest first: a secret that holds another is hidden whole, not in pieces.
    std::vector<std::string> longestFirst = secrets;
    std::sort(longestFirst.begin(), longestFirst.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    auto word = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; };
    for (const std::string& secret : longestFirst) {
        if (secret.empty()) continue;
        for (std::size_t at = text.find(secret); at != std::string::npos;) {
            // Where a library quotes a secret it stands alone; a short one ("k") inside a
            // word ("socket") is not the secret, and hiding it there would garble the text.
            const std::size_t end = at + secret.size();
            const bool inWord = (word(secret.front()) && at > 0 && word(text[at - 1])) ||
                                (word(secret.back()) && end < text.size() && word(text[end]));
            if (inWord) {
                at = text.find(secret, at + 1);
                continue;
            }
            text.replace(at, secret.size(), kHidden);
            at = text.find(secret, at + 3);
        }
    }
    return text;
}
