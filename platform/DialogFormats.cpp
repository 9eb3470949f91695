#include "platform/DialogFormats.h"

#include <cctype>

namespace kelo::platform::dialogs {

namespace {

bool isSeparator(char c, char separator) { return c == separator || (separator == '\\' && c == '/'); }

bool isAbsolute(const std::string& path, char separator) {
    if (path.empty()) return false;
    if (isSeparator(path[0], separator)) return true;
    return separator == '\\' && path.size() >= 2 && path[1] == ':';
}

// The filters in the order the dialog programs want them: they preselect the first one.
std::vector<const FileFilter*> defaultFirst(const FileDialogRequest& request) {
    std::vector<const FileFilter*> ordered;
    const size_t first = request.defaultFilter < request.filters.size() ? request.defaultFilter : 0;
    if (!request.filters.empty()) ordered.push_back(&request.filters[first]);
    for (size_t i = 0; i < request.filters.size(); ++i)
        if (i != first) ordered.push_back(&request.filters[i]);
    return ordered;
}

// GTK matches patterns case-sensitively; names from Windows machines come in capitals.
std::string anyCase(const std::string& extension) {
    std::string glob;
    for (char c : extension) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isalpha(u)) {
            glob += '[';
            glob += static_cast<char>(std::tolower(u));
            glob += static_cast<char>(std::toupper(u));
            glob += ']';
        } else {
            glob += c;
        }
    }
    return glob;
}

// zenity splits a filter at its first '|'.
std::string filterLabel(std::string label) {
    for (char& c : label)
        if (c == '|' || c == '\n') c = ' ';
    return label;
}

std::string zenityFilter(const FileFilter& filter) {
    std::string patterns;
    for (const std::string& e : filter.extensions) {
        if (e.empty()) continue;
        if (!patterns.empty()) patterns += ' ';
        patterns += "*." + anyCase(e);
    }
    return filterLabel(filter.description) + " | " + (patterns.empty() ? "*" : patterns);
}

std::string kdialogFilters(const FileDialogRequest& request) {
    std::string text;
    for (const FileFilter* f : defaultFirst(request)) {
        std::string patterns;
        for (const std::string& e : f->extensions) {
            if (e.empty()) continue;
            std::string upper = e;
            for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            patterns += (patterns.empty() ? "*." : " *.") + e;
            if (upper != e) patterns += " *." + upper;
        }
        if (!text.empty()) text += '\n';
        text += (patterns.empty() ? "*" : patterns) + "|" + filterLabel(f->description);
    }
    return text;
}

// zenity runs --text through g_strcompress, which would eat backslashes.
std::string zenityText(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        if (c == '\\') escaped += '\\';
        escaped += c;
    }
    return escaped;
}

} // namespace

std::vector<std::string> fileDialogArgs(Program program, const FileDialogRequest& request) {
    std::vector<std::string> args;
    const std::string start = startPath(request);
    const bool multiple = request.multiple && request.kind == FileDialogKind::kOpen;
    if (program == Program::kZenity) {
        args.push_back("--file-selection");
        if (!request.title.empty()) args.push_back("--title=" + request.title);
        if (request.kind == FileDialogKind::kSave) {
            args.push_back("--save");
            args.push_back("--confirm-overwrite");
        } else if (request.kind == FileDialogKind::kFolder) {
            args.push_back("--directory");
        }
        if (multiple) {
            args.push_back("--multiple");
            args.push_back("--separator=\n");
        }
        if (!start.empty()) args.push_back("--filename=" + start);
        if (request.kind != FileDialogKind::kFolder)
            for (const FileFilter* f : defaultFirst(request)) args.push_back("--file-filter=" + zenityFilter(*f));
        return args;
    }
    if (!request.title.empty()) {
        args.push_back("--title");
        args.push_back(request.title);
    }
    switch (request.kind) {
    case FileDialogKind::kOpen: args.push_back("--getopenfilename"); break;
    case FileDialogKind::kSave: args.push_back("--getsavefilename"); break;
    case FileDialogKind::kFolder: args.push_back("--getexistingdirectory"); break;
    }
    args.push_back(start.empty() ? "." : start);
    if (request.kind != FileDialogKind::kFolder && !request.filters.empty()) args.push_back(kdialogFilters(request));
    if (multiple) {
        args.push_back("--multiple");
        args.push_back("--separate-output");
    }
    return args;
}

std::vector<std::string> messageArgs(Program program, const MessageRequest& request) {
    const bool question = request.kind == MessageKind::kYesNo;
    if (program == Program::kZenity)
        return {question ? "--question" : "--info", "--title=" + request.title, "--text=" + zenityText(request.text),
                "--no-markup"};
    return {"--title", request.title, question ? "--yesno" : "--msgbox", request.text};
}

std::vector<std::string> filesFromOutput(const std::string& output, const FileDialogRequest& request) {
    std::vector<std::string> files;
    size_t pos = 0;
    while (pos < output.size()) {
        size_t end = output.find('\n', pos);
        if (end == std::string::npos) end = output.size();
        std::string line = output.substr(pos, end - pos);
        pos = end + 1;
        if (line.empty() || line[0] != '/') continue;
        if (request.kind == FileDialogKind::kSave) line = withDefaultExtension(line, request.defaultExtension);
        files.push_back(line);
    }
    if (files.size() > 1 && !(request.multiple && request.kind == FileDialogKind::kOpen)) files.resize(1);
    return files;
}

std::string withDefaultExtension(const std::string& path, const std::string& extension, char separator) {
    std::string ext = extension;
    while (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
    if (ext.empty() || path.empty() || isSeparator(path.back(), separator)) return path;
    size_t nameStart = 0;
    for (size_t i = path.size(); i > 0; --i)
        if (isSeparator(path[i - 1], separator)) {
            nameStart = i;
            break;
        }
    // A leading dot names a hidden file, it is no extension.
    if (path.find('.', nameStart + 1) != std::string::npos) return path;
    return path + "." + ext;
}

std::string startPath(const FileDialogRequest& request, char separator) {
    if (isAbsolute(request.defaultName, separator) || request.initialFolder.empty()) return request.defaultName;
    std::string path = request.initialFolder;
    if (!isSeparator(path.back(), separator)) path += separator;
    return path + request.defaultName;
}

std::string win32FilterString(const std::vector<FileFilter>& filters) {
    std::string text;
    for (const FileFilter& f : filters) {
        std::string patterns;
        for (const std::string& e : f.extensions) {
            if (e.empty()) continue;
            if (!patterns.empty()) patterns += ';';
            patterns += "*." + e;
        }
        text += f.description;
        text += '\0';
        text += patterns.empty() ? "*.*" : patterns;
        text += '\0';
    }
    if (!text.empty()) text += '\0';
    return text;
}

std::vector<std::string> win32SelectedFiles(const char* buffer, size_t size, bool multiple) {
    std::vector<std::string> strings;
    size_t pos = 0;
    while (buffer && pos < size && buffer[pos] != '\0') {
        size_t end = pos;
        while (end < size && buffer[end] != '\0') ++end;
        if (end == size) break; // not terminated: a damaged answer
        strings.emplace_back(buffer + pos, end - pos);
        if (!multiple) break;
        pos = end + 1;
    }
    if (strings.size() <= 1) return strings;
    std::string folder = strings[0];
    if (folder.back() != '\\') folder += '\\';
    std::vector<std::string> files;
    for (size_t i = 1; i < strings.size(); ++i) files.push_back(folder + strings[i]);
    return files;
}

std::string notepadCommandLine(const std::string& windowsFolder, const std::string& file) {
    std::string program = windowsFolder;
    if (!program.empty() && program.back() != '\\') program += '\\';
    return "\"" + program + "notepad.exe\" \"" + file + "\"";
}

} // namespace kelo::platform::dialogs
