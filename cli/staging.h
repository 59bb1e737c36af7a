#pragma once
// A folder that receives a delivery (path lists, disc folders or both) all at once or not at all.
//
// Before anything is collected the folder is checked and locked for the run. The new entries are
// made in a hidden staging folder inside it; the commit moves an earlier plan aside into the
// staging folder and the new entries into place, recording in a journal there which step it has
// reached, so that a run killed at any moment is finished or undone by the next run, which says
// so. The manifest records every file and folder the tool made with what identifies it
// (cli/manifest.h): a later run replaces only that, when asked, and removes only what is still
// exactly what was made. Everything inside the folder is reached through folder descriptors
// opened without following symbolic links.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "cli/manifest.h"

class DeliveryFolder {
 public:
  explicit DeliveryFolder(std::string path) : m_path(std::move(path)) {}
  DeliveryFolder(const DeliveryFolder&) = delete;
  DeliveryFolder& operator=(const DeliveryFolder&) = delete;
  ~DeliveryFolder();

  const std::string& Path() const { return m_path; }

  /// Before anything is collected: the folder exists and can be written, or the folder above it
  /// does (only the folder itself is made, as mkdir makes it); no other run delivers into it (it
  /// stays locked for the run); what an interrupted run left there is finished or undone, and
  /// told; none of its entries named as this delivery's (discN.list with `lists`, discN with
  /// `discs`) is foreign; an earlier plan recorded in its manifest is there only with `replace`,
  /// and then holds only what was made, unchanged. False with the reason.
  bool Prepare(bool lists, bool discs, bool replace, std::string& why);
  /// The real paths of what this delivery replaces, each with whether it is a folder.
  std::vector<std::pair<std::string, bool>> Replaced() const;
  /// The file system the folder is (or will be) on, and the bytes free there.
  dev_t Device() const { return m_device; }
  std::uint64_t FreeBytes() const { return m_free; }

  /// Makes the folder if needed, and the staging folder where the new entries go.
  bool Begin(std::string& why);
  /// The folder the new entries are made in, under their final names, and the name of the
  /// staging folder that holds it (as "new") inside the folder.
  int Staging() const { return m_new; }
  const std::string& StagingName() const { return m_stagingName; }
  /// Notes an entry made in the staging folder, for the manifest.
  void Record(MadeEntry entry);

  /// Writes the manifest, moves the earlier plan aside and the new entries into place; on failure
  /// every move is undone and false is returned with the reason.
  bool Commit(std::string& why);
  /// Undoes a Commit that succeeded, when another target's failed.
  void Undo();
  /// After every target has committed: removes the earlier plan, all but what is no longer as it
  /// was made, which stays in a folder named for it (told). Returns that folder's name, or "".
  std::string Finish();
  /// Removes what Begin made, after a failure or a signal.
  void Abandon();

 private:
  bool Open(std::string& why);
  bool Lock(std::string& why);
  void Recover(const std::string& staging);
  bool AllMade(const std::string& name, std::string& why) const;
  bool Move(int fromFolder, const std::string& fromName, int toFolder, const std::string& toName);
  bool Journal(const char* state, std::string& why);
  void CloseStaging();

  std::string m_path;
  int m_folder = -1;    // the folder, once it exists
  bool m_made = false;  // Begin made the folder
  dev_t m_device = 0;
  std::uint64_t m_free = 0;
  bool m_hadManifest = false;
  Manifest m_earlierManifest;
  std::vector<std::string> m_earlier;  // the earlier plan's entries present in the folder
  std::string m_stagingName;
  int m_staging = -1, m_new = -1, m_old = -1;
  Manifest m_manifest;  // the new one
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
