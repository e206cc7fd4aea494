// The firmware-name check decides whether the tool may run at all, so every rule gets a row.
#include "firmware/identity_check.h"
#include "printer_link/platform.h"

#include <QTest>

#include <string>

namespace {
constexpr char16_t kGoodFile[]
    = u"io_quillet_dist_pp1_016.2528A_nonassert_appsigned_lbi_rootfs_secure_signed.fhx";
}

class IdentityCheckTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        boxes_ = 0;
        vornik::InstallErrorBox([this](const std::u16string &, const std::u16string &caption) {
            QCOMPARE(caption, std::u16string(u"FDU App"));
            ++boxes_;
        });
    }

    void check_data()
    {
        QTest::addColumn<QString>("product");
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("buildText");

        const QString good = QString::fromUtf16(kGoodFile);
        QTest::newRow("this build") << "ZELTAN QXR3303" << good << 1 << "2528A";
        QTest::newRow("extension tested first") << "ZELTAN QXR3303"
                                                << "io_quillet_dist_pp1_016.2528A_x.bin" << 4 << "";
        QTest::newRow("unsigned") << "ZELTAN QXR3303"
                                  << "io_quillet_dist_pp1_016.2528A_x.fhx" << 3 << "";
        QTest::newRow("marks anywhere in the name")
            << "ZELTAN QXR3303"
            << ".fhx secure_signed io_quillet_dist_pp1_016.2528A" << 1 << "2528A";
        QTest::newRow("empty file name") << "ZELTAN QXR3303"
                                         << "" << 4 << "";
        QTest::newRow("empty product") << "" << good << 5 << "";
        QTest::newRow("product in lower case") << "zeltan qxr3303" << good << 5 << "";
        QTest::newRow("product with trailing blank") << "ZELTAN QXR3303 " << good << 5 << "";
        QTest::newRow("prefix of another line")
            << "ZELTAN QXR3303"
            << "io_quillet_dist_pp1_017.2528A_secure_signed.fhx" << 2 << "";
        QTest::newRow("branch 9") << "MORVAL 510k"
                                  << "io_quillet_dist_pp1_009.2528A_secure_signed.fhx" << 1
                                  << "2528A ->Br_009";
        QTest::newRow("branch 20") << "MORVAL 510k"
                                   << "io_quillet_dist_pp1_020.2528A_secure_signed.fhx" << 1
                                   << "2528A ->Br_020:M01_Best Colormap";
        QTest::newRow("both branches: 9 wins")
            << "MORVAL 510k"
            << "io_quillet_dist_pp1_020.1111B_io_quillet_dist_pp1_009.2528A_secure_signed.fhx" << 1
            << "2528A ->Br_009";
        QTest::newRow("neither branch")
            << "MORVAL 510k"
            << "io_quillet_dist_pp1_016.2528A_secure_signed.fhx" << 2 << "";
        QTest::newRow("prefix last") << "ZELTAN QXR3303"
                                     << "secure_signed.fhx io_quillet_dist_pp1_016." << 1 << "";
        QTest::newRow("prefix last, branch product")
            << "MORVAL 510k"
            << "secure_signed.fhx io_quillet_dist_pp1_009." << 1 << "";
        QTest::newRow("underscore after prefix")
            << "ZELTAN QXR3303"
            << "io_quillet_dist_pp1_016._secure_signed.fhx" << 1 << "";
        QTest::newRow("underscore after prefix, branch product")
            << "MORVAL 510k"
            << "io_quillet_dist_pp1_009._secure_signed.fhx" << 1 << " ->Br_009";
        QTest::newRow("prefix twice: first counts")
            << "ZELTAN QXR3303"
            << "io_quillet_dist_pp1_016.1111_io_quillet_dist_pp1_016.2222_secure_signed.fhx" << 1
            << "1111";
        QTest::newRow("no underscore after build number")
            << "ZELTAN QXR3303"
            << "secure_signed.fhx io_quillet_dist_pp1_016.2528A.x" << 1 << "2528A.x";
        QTest::newRow("every other row")
            << "TAZ LABEL PrismLine 2"
            << "io_quillet_dist_pp1_017.7_secure_signed.fhx" << 1 << "7";
        QTest::newRow("last row") << "ZELTAN BRW7000"
                                  << "io_quillet_dist_pp1_021.9_secure_signed.fhx" << 1 << "9";
    }

    void check()
    {
        QFETCH(QString, product);
        QFETCH(QString, file);
        QFETCH(int, result);
        QFETCH(QString, buildText);

        char16_t out[kBuildTextUnits] = u"untouched";
        QCOMPARE(Lib_FlashFileValidityCheck(reinterpret_cast<const char16_t *>(product.utf16()),
                     reinterpret_cast<const char16_t *>(file.utf16()), out, kBuildTextUnits),
            result);
        QCOMPARE(QString::fromUtf16(out), result == 1 ? buildText : QStringLiteral("untouched"));
        QCOMPARE(boxes_, 0);
    }

    void nullNamesShowTheBuildErrorBox()
    {
        char16_t out[kBuildTextUnits] = u"untouched";
        QCOMPARE(Lib_FlashFileValidityCheck(nullptr, kGoodFile, out, kBuildTextUnits), 0);
        QCOMPARE(Lib_FlashFileValidityCheck(u"ZELTAN QXR3303", nullptr, out, kBuildTextUnits), 0);
        QCOMPARE(boxes_, 2);
        QCOMPARE(QString::fromUtf16(out), QStringLiteral("untouched"));
    }

    void smallBufferIsNeverOverrun()
    {
        char16_t out[8];
        std::fill(std::begin(out), std::end(out), u'#');
        QCOMPARE(Lib_FlashFileValidityCheck(
                     u"MORVAL 510k", u"io_quillet_dist_pp1_020.2528A_secure_signed.fhx", out, 4),
            1);
        QCOMPARE(QString::fromUtf16(out), QStringLiteral("252"));
        QCOMPARE(out[4], u'#');
    }

private:
    int boxes_ = 0;
};

QTEST_GUILESS_MAIN(IdentityCheckTest)
#include "test_identity_check.moc"
