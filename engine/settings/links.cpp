/*
 * links.cpp - shortcut files: freedesktop desktop entries of type Link.
 *
 * A shortcut is a small text file whose [Desktop Entry] group says Type=Link
 * and holds the target as a percent-encoded file: URL, which file managers
 * show and open like the target itself. Resolving reads only that group, only
 * local file URLs, and only targets that still exist; a file too large to be
 * a shortcut is not read at all. Both calls go through the engine's file I/O.
 */
#include "engine/platform/fileio.h"
#include "korvel.h"

#include <cctype>
#include <cstring>
#include <filesystem>
#include <string>

enum : int32_t { KV_LINK_FILE_MAX = 64 * 1024 };

static const char *const kvLinkDescription = "Shortcut made by Korvel";

/* Keeps ASCII letters, digits and "/-._~" as they are and writes every other
 * byte as %XX, which also keeps line ends and backslashes out of the file. The
 * test is spelled out because isalnum() follows the process locale. */
static std::string kvPercentEncode(const std::string &path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (plain || (c != '\0' && std::strchr("/-._~", c))) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

/* Decodes %XX sequences: false for a malformed one or an encoded NUL. */
static bool kvPercentDecode(const std::string &text, std::string *out) {
    out->clear();
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] != '%') {
            *out += text[i];
            continue;
        }
        if (i + 2 >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[i + 1])) ||
            !std::isxdigit(static_cast<unsigned char>(text[i + 2])))
            return false;
        char byte = static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
        if (byte == '\0') return false;
        *out += byte;
        i += 2;
    }
    return true;
}

/* Desktop-entry string escapes: a character and the letter after its
 * backslash; "\s" (a space) is read but never needed when writing. */
static const char kvEscapes[][2] = {{'\n', 'n'}, {'\t', 't'}, {'\r', 'r'}, {'\\', '\\'}};

static std::string kvEscapeValue(const std::string &text) {
    std::string out;
    for (char c : text) {
        const char *letter = nullptr;
        for (const auto &escape : kvEscapes)
            if (escape[0] == c) letter = &escape[1];
        if (letter) out += '\\';
        out += letter ? *letter : c;
    }
    return out;
}

static std::string kvUnescapeValue(const std::string &text) {
    std::string out;
    for (size_t i = 0; i < text.size(); i++) {
        char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            char letter = text[++i];
            c = letter == 's' ? ' ' : letter;
            for (const auto &escape : kvEscapes)
                if (escape[1] == letter) c = escape[0];
        }
        out += c;
    }
    return out;
}

static std::string kvTrim(const std::string &text) {
    size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

/* The whole file, or false when it is missing, unreadable or too large. */
static bool kvReadSmallFile(const std::string &path, std::string *text) {
    int32_t handle = kvFileOpen(path, KV_FILE_READ);
    if (handle < 0) return false;
    int64_t size = kvFileSize(handle);
    bool read = size >= 0 && size <= KV_LINK_FILE_MAX;
    if (read) {
        text->resize(static_cast<size_t>(size));
        read = kvFileRead(handle, text->data(), size);
    }
    kvFileClose(handle);
    return read;
}

/* The unescaped value of `key` in the [Desktop Entry] group, which must be the
 * file's first group; false when the key is not there. */
static bool kvDesktopValue(const std::string &text, const char *key, std::string *value) {
    bool inEntry = false;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = kvTrim(text.substr(at, end - at));
        at = end + 1;
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            if (inEntry || line != "[Desktop Entry]") return false;
            inEntry = true;
            continue;
        }
        size_t equals = line.find('=');
        if (!inEntry || equals == std::string::npos || kvTrim(line.substr(0, equals)) != key)
            continue;
        *value = kvUnescapeValue(kvTrim(line.substr(equals + 1)));
        return true;
    }
    return false;
}

/* The local path of a file: URL (file:///p, file://localhost/p or file:/p). */
static bool kvLocalPathOfUrl(const std::string &url, std::string *path) {
    std::string rest;
    if (url.rfind("file://localhost/", 0) == 0)
        rest = url.substr(16);
    else if (url.rfind("file:///", 0) == 0)
        rest = url.substr(7);
    else if (url.rfind("file:/", 0) == 0 && url.rfind("file://", 0) != 0)
        rest = url.substr(5);
    else
        return false;
    return kvPercentDecode(rest, path);
}

extern "C" KV_API int32_t kvCreateLink(const char *linkPath, const char *targetPath) {
    if (!linkPath || !*linkPath || !targetPath || !*targetPath) return -1;
    std::error_code failed;
    std::filesystem::path target = std::filesystem::absolute(targetPath, failed);
    if (failed) return -1;
    std::string name = target.filename().string();
    std::string entry = "[Desktop Entry]\nVersion=1.0\nType=Link\nName=" + kvEscapeValue(name) +
                        "\nComment=" + kvLinkDescription + "\nURL=file://" +
                        kvPercentEncode(target.string()) + "\n";
    int32_t handle = kvFileOpen(linkPath, KV_FILE_CREATE);
    if (handle < 0) return -1;
    bool written = kvFileWrite(handle, entry.data(), static_cast<int64_t>(entry.size()));
    kvFileClose(handle);
    if (written) return 0;
    kvFileRemove(linkPath);
    return -1;
}

/* The description is not handed back and a missing Comment is an empty one,
 * so reading it cannot fail and the result is 0 or -2. */
extern "C" KV_API int32_t kvResolveLink(const char *linkPath, char *outPath) {
    if (!outPath) return -2;
    outPath[0] = '\0';
    std::string text, type, url, target;
    if (!linkPath || !kvReadSmallFile(linkPath, &text)) return 0;
    if (!kvDesktopValue(text, "Type", &type) || type != "Link") return 0;
    if (!kvDesktopValue(text, "URL", &url) || !kvLocalPathOfUrl(url, &target)) return 0;
    if (!kvFileExists(target)) return 0;
    if (target.size() >= KV_LINK_PATH_SIZE) return -2;
    std::memcpy(outPath, target.c_str(), target.size() + 1);
    return 0;
}
