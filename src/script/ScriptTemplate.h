#pragma once

namespace korvex {

class CDocTemplate;
class CKorvexApp;

// Adds the script document template ("Korvex.Script", *.kvxs) behind the
// application's other templates and makes it the app's script template.
CDocTemplate& RegisterScriptTemplate(CKorvexApp& app);

} // namespace korvex
