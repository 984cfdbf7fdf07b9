#include "ui/Resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside a namespace.
static void InitKorvexResources()
{
    Q_INIT_RESOURCE(korvex);
}

namespace korvex {

void InitUiResources()
{
    InitKorvexResources();
}

} // namespace korvex
