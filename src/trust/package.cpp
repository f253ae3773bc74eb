#include "trust/package.h"

#include <string>
#include <vector>

#include "platform/paths.h"
#include "platform/platform.h"
#include "trust/trust.h"

namespace {

static_assert(kMostPackageObjects == 10000 && kDeepestPackageFolder == 16, "as the findings say");

using platform::PackageObject;
using platform::Spelling;

// What the walk has judged so far, and the first thing it found others could change.
struct Walk {
    std::string setupFolder;
    bool runnerTrusted = true;
    std::size_t objects = 0;
    std::string finding; // in UTF-8
};

bool Found(Walk& walk, const std::string& path, const std::string& why) {
    walk.finding = path + ": " + why;
    return false;
}

// FAT, exFAT and CDs keep no access lists: anyone with the medium could have changed it, and
// nothing can tell [windows.md: package-trust].
bool KeepsNoLists(const std::string& fileSystem) {
    for (const char* name : {"FAT", "FAT32", "exFAT", "CDFS", "UDF"}) {
        if (fileSystem == name) {
            return true;
        }
    }
    return false;
}

// Folders above what is judged may not be replaced; what is judged, and all it holds, not
// changed either.
unsigned long RightsFor(bool tree, bool folder) {
    return !tree ? rights::kReplace : folder ? rights::kChangeFolder : rights::kChange;
}

bool JudgeFrom(Walk& walk, const std::string& path, bool tree, std::size_t depth);
bool JudgeObject(Walk& walk, PackageObject* folder, const std::string& name,
                 const std::string& path, bool tree, std::size_t depth);

// Where a link leads, judged as the setup's folder is; a chain of them counts as folders deep.
bool JudgeLinkTarget(Walk& walk, PackageObject* folder, const std::string& name,
                     const std::string& path, bool tree, std::size_t depth) {
    platform::PathObject found;
    PackageObject* target = platform::OpenPackageObject(folder, name, true, found);
    std::string targetPath;
    const bool read = target != nullptr && platform::ReadFinalPath(target, targetPath);
    platform::ClosePackageObject(target);
    if (depth >= kDeepestPackageFolder) {
        return Found(walk, path, "leads through too many links");
    }
    return read ? JudgeFrom(walk, targetPath, tree, depth + 1)
                : Found(walk, path, "where it leads cannot be read");
}

bool JudgeListed(Walk& walk, PackageObject* folder, const std::string& path, std::size_t depth) {
    std::vector<std::string> names;
    if (depth >= kDeepestPackageFolder) {
        return Found(walk, path, "lies more than 16 folders deep, too deep to be judged");
    }
    if (!platform::ListPackageFolder(folder, names)) {
        return Found(walk, path, "cannot be listed");
    }
    for (const std::string& name : names) {
        if (!JudgeObject(walk, folder, name, path + "\\" + name, true, depth + 1)) {
            return false;
        }
    }
    return true;
}

// `name` below the open `folder`, or the absolute path `name`; shown as `path`.
bool JudgeObject(Walk& walk, PackageObject* folder, const std::string& name,
                 const std::string& path, bool tree, std::size_t depth) {
    if (tree && ++walk.objects > kMostPackageObjects) {
        return Found(walk, walk.setupFolder,
                     "holds more than 10000 objects, too many to be judged");
    }
    platform::PathObject found;
    PackageObject* object = platform::OpenPackageObject(folder, name, false, found);
    if (object == nullptr) {
        return Found(walk, path, "cannot be opened");
    }
    const std::string why = WhyOthersMayChange(found.security, RightsFor(tree, found.folder),
                                               found.folder, walk.runnerTrusted);
    bool judged = why.empty() || Found(walk, path, why);
    if (judged && found.link) {
        judged = JudgeLinkTarget(walk, folder, name, path, tree, depth);
    } else if (judged && tree && found.folder) {
        judged = JudgeListed(walk, object, path, depth);
    }
    platform::ClosePackageObject(object);
    return judged;
}

// A folder below the root could be renamed away and another put in its place; the root itself
// cannot [windows.md: package-trust].
bool JudgeFrom(Walk& walk, const std::string& path, bool tree, std::size_t depth) {
    const std::size_t root = platform::RootLength(path, Spelling::Utf8);
    std::string fileSystem;
    if (root == 0) {
        return Found(walk, path, "is not an absolute path");
    }
    if (!platform::QueryFileSystem(path.substr(0, root), fileSystem)) {
        return Found(walk, path.substr(0, root), "its file system cannot be asked");
    }
    if (KeepsNoLists(fileSystem)) {
        return true;
    }
    for (const std::size_t separator : platform::Separators(path, Spelling::Utf8)) {
        const std::string above = path.substr(0, separator);
        if (separator >= root && !JudgeObject(walk, nullptr, above, above, false, depth)) {
            return false;
        }
    }
    return JudgeObject(walk, nullptr, path, path, tree, depth);
}

} // namespace

bool OthersMayChangePackage(const std::string& setupFolder, bool runnerTrusted,
                            std::string& finding) {
    Walk walk;
    walk.setupFolder = platform::Utf8FromCodePage(setupFolder);
    walk.runnerTrusted = runnerTrusted;
    if (JudgeFrom(walk, walk.setupFolder, true, 0)) {
        return false;
    }
    finding = platform::CodePageFromUtf8(walk.finding);
    return true;
}
