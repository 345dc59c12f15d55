// The folders an extra-folder sweep never empties: those people and the system keep their
// own files in, whatever the list file says.
#pragma once

// True when `folder` names, once "." and ".." are taken out and letter case is ignored, a
// drive's top folder, the Windows folder or its System32 or SysWOW64, a program-files folder,
// the users' folder, a user's or the public profile, or one of a profile's own folders
// (Desktop, Documents, Downloads, Pictures, Music, Videos, AppData and its Roaming and Local);
// and when it names no folder for sure: a path that is not a full one from a drive or share.
bool isProtectedFolder(const char* folder);
