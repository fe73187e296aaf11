#pragma once
// File attributes and folder listing, in DOS terms. On a Wine prefix, as Wine
// keeps them: read-only is the absence of write permission; hidden and system
// live in the extended attribute user.DOSATTRIB; archive is reported for every
// regular file and never stored; a name beginning with a dot is hidden.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "machine.h"

namespace frambul::store {

enum FileAttr : int {
  faReadOnly = 1,
  faHidden = 2,
  faSysFile = 4,
  faVolumeID = 8,
  faDirectory = 16,
  faArchive = 32,
};

// One directory entry of a listing.
struct TSearchRec {
  std::string Name;  // without the folder
  int Attr = 0;
  // The rest of the listing, kept between SearchNext calls.
  std::shared_ptr<std::vector<std::pair<std::string, int>>> pending;
  size_t next = 0;
  int mask = 0;
};

// Replaces all attribute bits of a file: 1 read-only, 2 hidden, 4 system
// (32 archive and 16 directory are accepted and not stored). Gives 0 or a
// Windows error code: 2 no such file, 3 no such folder, 5 access denied (also
// for a link that leads out of the prefix: nothing changes there), 32 Wine
// runs on the prefix, 50 the file system keeps no DOS attributes.
int SetAttributes(Machine& machine, std::string_view fileName, int attributes);

// The attribute bits of a file, or -1 when it does not exist.
int GetAttributes(Machine& machine, std::string_view fileName);

// Lists the folder of `pattern` ("C:\Folder\*.*"); the name part may hold the
// wildcards "*" and "?". An entry is skipped when it carries hidden, system,
// volume label or directory and the mask lacks it. 0 when an entry was found.
int SearchFirst(Machine& machine, std::string_view pattern, int mask, TSearchRec& rec);
int SearchNext(TSearchRec& rec);
void SearchEnd(TSearchRec& rec);

}  // namespace frambul::store
