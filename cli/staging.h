#pragma once
// A folder that receives a delivery (path lists, disc folders or both) all at once or not at all.
// The new entries are made in a hidden staging folder inside it and renamed into place together;
// a manifest there records every file and folder the tool made, so that a later run tells its own
// earlier plan (replaced only when asked) from anything else (never touched). Everything inside
// the folder is reached through folder descriptors opened without following symbolic links.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

/// The manifest's name in the folder.
constexpr const char* kManifestName = ".zumibo-fit-manifest";

class Target {
 public:
  explicit Target(std::string path) : m_path(std::move(path)) {}
  Target(const Target&) = delete;
  Target& operator=(const Target&) = delete;
  ~Target();

  const std::string& Path() const { return m_path; }

  /// Before anything is written: the folder exists and can be written, or can be made; no other
  /// run writes into it; none of its entries named as this delivery's (discN.list with `lists`,
  /// discN with `discs`) is foreign; an earlier plan recorded in its manifest is there only with
  /// `replace`, and then holds only what it recorded. False with the reason, or at a signal.
  bool Check(bool lists, bool discs, bool replace, std::string& why);
  /// The file system the folder is (or will be) on, and the bytes free there.
  dev_t Device() const { return m_device; }
  std::uint64_t FreeBytes() const { return m_free; }

  /// Makes the folder if needed, and the staging folder where the new entries go.
  bool Begin(std::string& why);
  /// The staging folder: the new entries are made here under their final names.
  int Staging() const { return m_new; }
  /// Notes an entry made in the staging folder ("disc1.list", a folder as "disc1/a/"), for the manifest.
  void Record(const std::string& path);

  /// Writes the manifest, moves the earlier plan aside and renames the new entries into place;
  /// on failure every rename is undone and false is returned with the reason.
  bool Commit(std::string& why);
  /// Undoes a Commit that succeeded, when another target's failed.
  void Undo();
  /// After every target has committed: removes the staging folder with the earlier plan in it,
  /// and what interrupted runs left.
  void Finish();
  /// Removes what Begin made, after a failure or a signal.
  void Abandon();

 private:
  bool Open(std::string& why);
  bool Lock(std::string& why);
  bool ReadManifest(std::string& why);
  bool Recorded(const std::string& path) const;
  bool Made(int folder, const std::string& name, const std::string& path, std::string& why) const;
  bool Move(int fromFolder, const std::string& fromName, int toFolder, const std::string& toName);
  void RemoveStaging();

  std::string m_path;
  int m_folder = -1;                // the folder, once it exists
  std::vector<std::string> m_made;  // the folders Begin made, outermost first
  dev_t m_device = 0;
  std::uint64_t m_free = 0;
  bool m_hadManifest = false;
  std::vector<std::string> m_records;   // the earlier manifest's, sorted
  std::vector<std::string> m_earlier;   // the earlier plan's entries present in the folder
  std::vector<std::string> m_leftover;  // staging folders of interrupted runs
  std::string m_stagingName;
  int m_staging = -1, m_new = -1, m_old = -1;
  std::string m_manifest;  // the new manifest's records
  std::vector<std::string> m_newEntries;
  struct Rename {
    int fromFolder;
    std::string fromName;
    int toFolder;
    std::string toName;
  };
  std::vector<Rename> m_renames;  // done by Commit, in order
};

/// Makes the file `name` in `folder`, which must not exist yet, holding `text`; false with the
/// system's reason.
bool WriteNewFile(int folder, const std::string& name, const std::string& text, std::string& why);
