// The folders an extra-folder sweep never empties: those people and the system keep their
// own files in, whatever the list file says.
#pragma once

// True when `folder` names, as its full path and without regard to letter case, a
// drive's top folder, the Windows folder or its System32 or SysWOW64, a program-files folder,
// the users' folder, a user's or the public profile, or one of a profile's own folders
// (Desktop, Documents, Downloads, Pictures, Music, Videos, AppData and its Roaming and Local);
// and when what it names cannot be told: a path left relative, or a device path.
bool isProtectedFolder(const char* folder);
