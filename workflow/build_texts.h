// The build texts: the product this build serves and the name of the firmware file whose
// content the build embeds. A null text stands for a name the build did not supply.
#pragma once

#include <QString>

struct BuildTexts {
    QString productName;
    QString firmwareFileName;

    // The texts this program was built with.
    static BuildTexts fromBuild();
};
