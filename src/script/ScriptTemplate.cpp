#include "script/ScriptTemplate.h"

#include "core/CDocTemplate.h"
#include "script/CScriptDoc.h"

#include <memory>

namespace korvex {

std::unique_ptr<CDocTemplate> MakeScriptTemplate(IScriptHost& host)
{
    return std::make_unique<CDocTemplate>("Korvex.Script", "Файлы скриптов (*.kvxs)",
                                          [&host] { return std::make_unique<CScriptDoc>(host); });
}

std::string NewScriptText()
{
    return "// Скрипт Korvex работает, пока работает эмулятор (F5 - пуск, F6 - стоп).\n"
           "// Ячейки устройств проекта читает и пишет объект MyObject, например:\n"
           "//   var p = MyObject.GetHREG(\"PUMP1\", 0x10);   // устройство: ID или адрес\n"
           "//   MyObject.SetIREG(1, \"LEVEL\", p + 1);       // ячейка: адрес или ID\n"
           "//   MyObject.Print(\"давление \" + MyObject.Hex(p));\n"
           "// Все методы MyObject описаны в руководстве (F1).\n"
           "\n"
           "while (true) {\n"
           "    MyObject.Sleep(1000);\n"
           "}\n";
}

} // namespace korvex
