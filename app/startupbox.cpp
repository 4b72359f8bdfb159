#include "startupbox.h"

#include "engine/module1.h"
#include "platform/desktop.h"

namespace Startup {

void showFailure(const QString &reason)
{
    Platform::messageBox(nullptr, Module1::kProgramTitle,
                         QStringLiteral("The browser cannot start in the folder it was given.\n\n%1").arg(reason));
}

} // namespace Startup
