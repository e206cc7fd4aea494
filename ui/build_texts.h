// The build texts: the product this build serves and the name of the firmware file whose
// content the build embeds. A null text stands for a name the build did not supply.
#pragma once

#include <QString>

struct BuildTexts {
    QString productName;
    QString firmwareFileName;

    // The caption of the main window and of every message: the product name and " FDU".
    QString caption() const { return productName + QStringLiteral(" FDU"); }

    // The build number alone, from the build text the identity check finds in the firmware
    // file name: its first word, without a branch suffix (which begins with a blank). What a
    // printer's firmware revision is held against after the run.
    static QString buildNumberOf(const QString &buildText)
    {
        return buildText.section(QLatin1Char(' '), 0, 0);
    }

    // The texts this program was built with.
    static BuildTexts fromBuild();
};
