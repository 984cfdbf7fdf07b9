#pragma once

#include <string>

namespace korvex {

class CDocTemplate;
class CKorvexApp;

// Adds the script document template ("Korvex.Script", *.kvxs) behind the
// application's other templates and makes it the app's script template.
CDocTemplate& RegisterScriptTemplate(CKorvexApp& app);

// The text a new script starts with: a few lines on MyObject and a loop that
// does nothing but wait, ready to be filled in.
std::string NewScriptText();

} // namespace korvex
