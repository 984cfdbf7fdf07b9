#include "script/ScriptTemplate.h"

#include "core/CDocManager.h"
#include "core/CDocTemplate.h"
#include "core/CKorvexApp.h"
#include "script/CScriptDoc.h"

#include <memory>

namespace korvex {

CDocTemplate& RegisterScriptTemplate(CKorvexApp& app)
{
    CDocTemplate& tmpl = app.GetDocManager().AddTemplate(
        std::make_unique<CDocTemplate>("Korvex.Script", "Файлы скриптов (*.kvxs)", ".kvxs",
                                       [&app] { return std::make_unique<CScriptDoc>(app); }));
    app.SetScriptTemplate(&tmpl);
    return tmpl;
}

} // namespace korvex
