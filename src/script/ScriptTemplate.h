#pragma once

#include <memory>
#include <string>

namespace korvex {

class CDocTemplate;
class IScriptHost;

// The script document template ("Korvex.Script", *.kvxs): its scripts get the
// host.
std::unique_ptr<CDocTemplate> MakeScriptTemplate(IScriptHost& host);

// The text a new script starts with: a few lines on MyObject and a loop that
// does nothing but wait, ready to be filled in.
std::string NewScriptText();

} // namespace korvex
