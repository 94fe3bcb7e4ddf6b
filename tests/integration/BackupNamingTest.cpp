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
        {u"pts/3", u"pts_3"},
        {u"SN C:\u00e9", u"SN_C__"},
        {u"", u"_"},
        {u"..", u"_.."},
        // Names Windows takes for its devices, whatever their case and extension.
        {u"COM3", u"COM3_"},
        {u"com0", u"com0_"},
        {u"Lpt9", u"Lpt9_"},
        {u"CON", u"CON_"},
        {u"prn", u"prn_"},
        {u"Aux", u"Aux_"},
        {u"nul", u"nul_"},
        {u"com3.x", u"com3_.x"},
        {u"NUL.tar.gz", u"NUL_.tar.gz"},
        // Only the whole name before the first '.' is a device.
        {u"COM10", u"COM10"},
        {u"COMX", u"COMX"},
        {u"xCOM3", u"xCOM3"},
        {u"CONSOLE", u"CONSOLE"},
        {u"a.COM3", u"a.COM3"},
        {u"COM\u00b3", u"COM_"},  // no ASCII digit
    };
    for (const auto& row : rows) {
        const QString given = QString::fromUtf16(row.given);
        EXPECT_EQ(SafeFileName(given).toStdString(), QString::fromUtf16(row.folder).toStdString())
            << given.toStdString();
    }
}

}  // namespace
