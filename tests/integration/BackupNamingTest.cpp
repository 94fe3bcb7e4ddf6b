// The name a device's folder gets in a backup of several: made from its serial number or its
// port name, it must be one plain file name on Linux and on Windows alike.

#include "session/BackupNaming.h"

#include <gtest/gtest.h>

namespace {

TEST(BackupNaming, DeviceFolderNamesAreOneFileNameOnEverySystem) {
    const struct {
        const char16_t* given;
        const char16_t* folder;
    } rows[] = {
        {u"ttyACM0", u"ttyACM0"},
        {u"SN-0042_a.b", u"SN-0042_a.b"},
        {u"pts/3", u"pts_3"},
        {u"SN C:\u00e9", u"SN_C__"},
        {u"", u"_"},
        {u"..", u"_.."},
        {u".hidden", u"_.hidden"},
        // Names Windows takes for its devices, whatever their case and extension.
        {u"COM3", u"COM3_"},
        {u"com3", u"com3_"},
        {u"Com9", u"Com9_"},
        {u"COM0", u"COM0_"},
        {u"LPT1", u"LPT1_"},
        {u"lpt9", u"lpt9_"},
        {u"CON", u"CON_"},
        {u"prn", u"prn_"},
        {u"Aux", u"Aux_"},
        {u"nul", u"nul_"},
        {u"com3.x", u"com3_.x"},
        {u"NUL.tar.gz", u"NUL_.tar.gz"},
        {u"COM3.", u"COM3_."},
        {u"LPT2/x", u"LPT2_x"},  // no device: the '/' is part of the name
        // Only the whole name before the first '.' is a device.
        {u"COM10", u"COM10"},
        {u"COM", u"COM"},
        {u"COMX", u"COMX"},
        {u"COM3x", u"COM3x"},
        {u"xCOM3", u"xCOM3"},
        {u"CONSOLE", u"CONSOLE"},
        {u"NULL", u"NULL"},
        {u"a.COM3", u"a.COM3"},
        {u"COM\u00b9", u"COM_"},
        {u"COM\u0663", u"COM_"},  // an Arabic-Indic three is no ASCII digit
    };
    for (const auto& row : rows) {
        const QString given = QString::fromUtf16(row.given);
        EXPECT_EQ(SafeFileName(given).toStdString(), QString::fromUtf16(row.folder).toStdString())
            << given.toStdString();
    }
}

}  // namespace
