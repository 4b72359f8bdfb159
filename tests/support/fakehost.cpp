#include "fakehost.h"

#include "engine/module1.h"
#include "engine/numbers.h"

FakeHost::FakeHost()
{
    text1[4] = "33.7761"; text1[5] = "131.0082"; text1[6] = "0.002";
    text1[9] = "33.8714"; text1[10] = "130.9956"; text1[11] = "0.002";
    text1[12] = "33.9683"; text1[13] = "130.9747"; text1[14] = "0.02";
}

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

bool FakeHost::processEvents()
{
    ++eventTurns;
    if (onEvents)
        onEvents();
    return stopOnEvents;
}

void FakeHost::prepareViewWindow(Module1::ViewChoice c, const QString &caption)
{
    prepared.push_back(c);
    viewCaption = caption;
    drawn.clear();
    changeLines.clear();
}
