#include "engine/plainhost.h"

#include "engine/module1.h"

namespace Module1 {

void PlainHost::clearShips()
{
    ships.clear();
    shipSelected = -1;
}

void PlainHost::selectShip(int index)
{
    shipSelected = index;
    if (selectRunsSelection)
        shipSelection();
}

void PlainHost::clearFiles()
{
    files.clear();
    fileSelected = -1;
}

} // namespace Module1
