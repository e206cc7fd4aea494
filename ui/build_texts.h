// The build texts: the product this build serves and the name of the firmware file whose
// content the build embeds. A null text stands for a name the build did not supply.
#pragma once

#include <QString>

struct BuildTexts {
    QString productName;
    QString firmwareFileName;

    // The caption of the main window and of every message: the product name and " FDU".
    QString caption() const { return productName + QStringLiteral(" FDU"); }

    // The texts this program was built with.
    static BuildTexts fromBuild();
};
