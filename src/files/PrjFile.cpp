#include "files/PrjFile.h"

#include "core/Text.h"
#include "files/ProjectPaths.h"
#include "files/TextFields.h"

namespace korvex {

std::vector<SPrjEntry> ParsePrjFile(std::string_view text)
{
    std::vector<SPrjEntry> entries;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        line = TrimChars(line, " \t");
        if (line.empty() || line.starts_with("//"))
            continue;
        entries.push_back({ std::string(line), IsDevicePath(line) });
    }
    return entries;
}

std::string FormatPrjFile(const std::vector<std::string>& scripts,
                          const std::vector<std::string>& devices, const std::string& version)
{
    const std::string rule = "// " + std::string(61, '-');
    std::string out;
    out += StrFormat("// Файл проекта эмулятора MODBUS-устройства Korvex версии %s\r\n",
                     version.c_str());
    out += rule + "\r\n";
    out += "// Разделителями в файле является знак такуляции <Tab> ACSII(9)\r\n";
    out += "// Допустимые строки в файле:\r\n";
    out += "// <путь_к_файлу_устройств_kvxd>\r\n";
    out += "// <путь_к_файлу_скриптов_kvxs>\r\n";
    out += "// Пути к файлу указываются относительно файла проекта (.kvxp)\r\n";
    out += rule + "\r\n";
    for (const std::string& path : scripts)
        out += path + "\r\n";
    for (const std::string& path : devices)
        out += path + "\r\n";
    return out;
}

} // namespace korvex
