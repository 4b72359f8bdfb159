#include "fakehost.h"

#include "engine/module1.h"
#include "engine/numbers.h"

Module1::Criteria FakeHost::criteria()
{
    Module1::Criteria c;
    c.mmsi = text1[0].toStdString();
    const int fields[3][3] = {{4, 5, 6}, {9, 10, 11}, {12, 13, 14}};
    for (int k = 0; k < 3; ++k) {
        c.areaOn[k] = check1[k];
        c.latitude[k] = Module1::leadingNumber(text1[fields[k][0]]);
        c.longitude[k] = Module1::leadingNumber(text1[fields[k][1]]);
        c.range[k] = Module1::leadingNumber(text1[fields[k][2]]);
    }
    return c;
}

void FakeHost::selectShip(int i)
{
    shipSelected = i;
    if (selectRunsSelection)
        Module1::shipSelection();
}

bool FakeHost::processEvents()
{
    ++eventTurns;
    if (onEvents)
        onEvents();
    return stopOnEvents;
}
