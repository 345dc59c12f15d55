// Which message-file keys are read for which list section, defaults, empty and cut values,
// and where the message file is.
#include <gtest/gtest.h>

#include <string>

#include "double/fake.h"
#include "frontend/message_texts.h"

namespace {

constexpr const char* messageFile = "C:\\Program Files\\Uninst\\UNINST.ini";

class MessageTextsTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake::reset();
        fake::setModulePath("C:\\Program Files\\Uninst\\UNINST.EXE");
    }
    void writeMessageFile(const std::string& bytes) { fake::addFile(messageFile, bytes); }
};

TEST_F(MessageTextsTest, WithoutAMessageFileEveryTextHasItsDefault) {
    struct Case {
        const char* listSection;
        const char* deliveryUtilityClass;
    };
    for (const Case& c : {Case{"Files_File", ""}, Case{"Files_Deliv", "VantrellMailConfig"},
                          Case{"FILES", "VantrellMailConfig"}, Case{"files_file", "VantrellMailConfig"}}) {
        loadMessageTexts(nullptr, c.listSection);
        SCOPED_TRACE(c.listSection);
        EXPECT_STREQ(messageTexts.dialogCaption, "Uninstaller");
        EXPECT_STREQ(messageTexts.promptQuestion, "Are you Sure ?");
        EXPECT_STREQ(messageTexts.completionText, "Uninstall is Complete");
        EXPECT_STREQ(messageTexts.completionCaption, "Complete");
        EXPECT_STREQ(messageTexts.promptHeading, "Uninstall Programs.");
        EXPECT_STREQ(messageTexts.closeProgramText, "Terminate the program before uninstall the software.");
        EXPECT_STREQ(messageTexts.fileUtilityClass, "VantrellScanFileUtil");
        EXPECT_STREQ(messageTexts.deliveryUtilityClass, c.deliveryUtilityClass);
        EXPECT_STREQ(messageTexts.appNameForDll, "ScannerUtility");
    }
}

TEST_F(MessageTextsTest, TheListSectionChoosesTheKeysRead) {
    writeMessageFile(
        "[STATIC]\r\nDIALOG00_F=Remove the file utility?\r\nDIALOG00_D=Remove the delivery utility?\r\n"
        "CLOSEMON_F=Close the file utility.\r\nWINNAME_D=DelivClass\r\n");
    struct Case {
        const char* listSection;
        const char* heading;
        const char* closeProgram;
        const char* deliveryClass;
    };
    for (const Case& c : {
             Case{"Files_File", "Remove the file utility?", "Close the file utility.", ""},
             Case{"Files_Deliv", "Remove the delivery utility?",
                  "Terminate the program before uninstall the software.", "DelivClass"},
             Case{"files_file", "Remove the delivery utility?",
                  "Terminate the program before uninstall the software.", "DelivClass"},
         }) {
        SCOPED_TRACE(c.listSection);
        loadMessageTexts(nullptr, c.listSection);
        EXPECT_STREQ(messageTexts.promptHeading, c.heading);
        EXPECT_STREQ(messageTexts.closeProgramText, c.closeProgram);
        EXPECT_STREQ(messageTexts.deliveryUtilityClass, c.deliveryClass);
    }
}

TEST_F(MessageTextsTest, KeysAreReadInOrderAndTheDeliveryKeysOnlyForOtherSections) {
    loadMessageTexts(nullptr, "Files_File");
    auto reads = fake::calls({"GetPrivateProfileStringA"});
    ASSERT_EQ(reads.size(), 8u);
    EXPECT_NE(reads[4].find("\"DIALOG00_F\""), std::string::npos);
    EXPECT_NE(reads[5].find("\"CLOSEMON_F\""), std::string::npos);
    EXPECT_NE(reads[6].find("\"WINNAME_F\""), std::string::npos);
    EXPECT_NE(reads[7].find("\"APPNAMEFORDLL\""), std::string::npos);
    for (const std::string& read : reads) EXPECT_NE(read.find(messageFile), std::string::npos) << read;

    fake::clearCalls();
    loadMessageTexts(nullptr, "Files_Deliv");
    reads = fake::calls({"GetPrivateProfileStringA"});
    ASSERT_EQ(reads.size(), 9u);
    EXPECT_NE(reads[4].find("\"DIALOG00_D\""), std::string::npos);
    EXPECT_NE(reads[5].find("\"CLOSEMON_D\""), std::string::npos);
    EXPECT_NE(reads[6].find("\"WINNAME_F\""), std::string::npos);
    EXPECT_NE(reads[7].find("\"WINNAME_D\""), std::string::npos);
}

TEST_F(MessageTextsTest, EmptyValuesStayEmptyAndEscapesStayText) {
    writeMessageFile("[STATIC]\nDIALOG01=\nWINNAME_F=\nMSGBOX00=Done\\nBye\n[TITLE]\nDIALOG=  Setup  \n");
    loadMessageTexts(nullptr, "Files_Deliv");
    EXPECT_STREQ(messageTexts.promptQuestion, "");
    EXPECT_STREQ(messageTexts.fileUtilityClass, "");
    EXPECT_STREQ(messageTexts.completionText, "Done\\nBye");
    EXPECT_STREQ(messageTexts.dialogCaption, "Setup");
    EXPECT_STREQ(messageTexts.completionCaption, "Complete");
}

TEST_F(MessageTextsTest, LongValuesAreCutToTheirCapacity) {
    std::string question(300, 'q');
    std::string name(100, 'n');
    writeMessageFile("[STATIC]\nDIALOG01=" + question + "\nAPPNAMEFORDLL=" + name + "\n");
    loadMessageTexts(nullptr, "Files_Deliv");
    EXPECT_EQ(std::string(messageTexts.promptQuestion), question.substr(0, 254));
    EXPECT_EQ(std::string(messageTexts.appNameForDll), name.substr(0, 79));
}

TEST_F(MessageTextsTest, MessageFileIsTheExecutablePathWithItsLastThreeCharactersReplaced) {
    struct Case {
        std::string modulePath;
        std::string messageFilePath;
    };
    const std::string longPath = "C:\\" + std::string(250, 'd') + "\\U.EXE";  // 259 characters
    for (const Case& c : {
             Case{"C:\\Program Files\\Uninst\\UNINST.EXE", "C:\\Program Files\\Uninst\\UNINST.ini"},
             Case{"C:\\Apps\\UNINST", "C:\\Apps\\UNIini"},
             Case{"C:\\Apps\\setup.Exe", "C:\\Apps\\setup.ini"},
             Case{"abc", "ini"},
             Case{"ab", "Uninst.ini"},
             Case{"", "Uninst.ini"},
             Case{longPath, longPath.substr(0, 256) + "ini"},
             Case{longPath + "X", "Uninst.ini"},
         }) {
        SCOPED_TRACE(c.modulePath);
        fake::setModulePath(c.modulePath);
        char path[260];
        messageFilePath(nullptr, path, sizeof path);
        EXPECT_EQ(std::string(path), c.messageFilePath);
    }
    fake::setModulePathFails();
    char path[260];
    messageFilePath(nullptr, path, sizeof path);
    EXPECT_STREQ(path, "Uninst.ini");
}

}  // namespace
