// A machine with both utilities installed, shared files and the shared component, as the
// installers leave it; the unit tests remove parts of it and look at what is left.
#pragma once

#include <string>

#include "double/fake.h"

namespace sample {

inline constexpr const char* listFile = "C:\\Data\\list.ini";
inline constexpr const char* uninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr const char* applicationKey = "Software\\Vantrell\\DUZORE32\\Application";

inline std::string listFileText(int fileUtilityFlag, int deliveryUtilityFlag) {
    return "[Utility]\r\n"
           "FileUtility=" + std::to_string(fileUtilityFlag) + "\r\n"
           "DelivUtility=" + std::to_string(deliveryUtilityFlag) + "\r\n"
           "[UnInstKey]\r\n"
           "UnInstKey_File=FileUtil\r\n"
           "UnInstKey_Deliv=DelivUtil\r\n"
           "[UNINSTALL_Files_Deliv]\r\n"
           "PATH=C:\\Apps\\Deliv\\Bin\r\n"
           "[UNINSTALL_Files_File]\r\n"
           "PATH=C:\\Apps\\File\r\n"
           "[Extra_Deliv]\r\n"
           "Folder00=C:\\Apps\\Deliv\\Cache\r\n"
           "[Files_Deliv]\r\n"
           "FILE00=C:\\Apps\\Deliv\\Bin\\deliv.exe\r\n"
           "FILE01=C:\\Apps\\Deliv\\Bin\\deliv.dll\r\n"
           "REGPATH00=Software\\Vantrell\\Deliv\\Settings\r\n"
           "REGPATH01=Software\\Vantrell\\Deliv\r\n"
           "[Paths_Deliv]\r\n"
           "PATH00=C:\\Apps\\Deliv\\Bin\\Data\r\n"
           "[Files_File]\r\n"
           "FILE00=C:\\Apps\\File\\file.exe\r\n"
           "[Paths_File]\r\n"
           "PATH00=C:\\Apps\\File\\Temp\r\n"
           "[Files_Common]\r\n"
           "FILE00=C:\\Apps\\Common\\common.dll\r\n"
           "[Paths_Common]\r\n"
           "PATH00=C:\\Apps\\Common\r\n"
           "[Files_DLL]\r\n"
           "FILE00=C:\\Windows\\System\\duzore32.dll\r\n";
}

// Both utilities' files, folders and keys; the flags as given.
inline void installBothUtilities(int fileUtilityFlag = 0, int deliveryUtilityFlag = 1) {
    fake::addFile(listFile, listFileText(fileUtilityFlag, deliveryUtilityFlag));
    fake::addFile("C:\\Apps\\Deliv\\Bin\\deliv.exe");
    fake::addFile("C:\\Apps\\Deliv\\Bin\\deliv.dll", "", platform::FILE_ATTRIBUTE_READONLY);
    fake::addFolder("C:\\Apps\\Deliv\\Bin\\Data");
    fake::addFile("C:\\Apps\\Deliv\\Cache\\mail1.tmp");
    fake::addFile("C:\\Apps\\Deliv\\Cache\\mail2.tmp", "", platform::FILE_ATTRIBUTE_HIDDEN);
    fake::addFile("C:\\Apps\\File\\file.exe");
    fake::addFolder("C:\\Apps\\File\\Temp");
    fake::addFolder("C:\\Apps\\File\\Empty");
    fake::addFile("C:\\Apps\\Common\\common.dll");
    fake::addFile("C:\\Windows\\System\\duzore32.dll");
    fake::addKey(std::string(uninstallKey) + "\\DelivUtil");
    fake::addKey(std::string(uninstallKey) + "\\FileUtil");
    fake::addKey("Software\\Vantrell\\Deliv\\Settings");
    fake::setValue(applicationKey, "ScannerUtility", "1");
}

}  // namespace sample
