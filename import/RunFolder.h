#pragma once

#include <string>

namespace cep {

/// The folder of one run's temporary files, inside the work folder: made
/// empty, for its owner's eyes only, when the run starts, and removed with
/// whatever it holds when the run ends, whatever the outcome. Two runs that
/// share a work folder never see each other's files, and no run ever finds a
/// file an earlier one left. A folder left by a run that was killed is
/// removed by the next run that finds it no longer in use.
class TRunFolder {
  public:
    /// Makes the folder in `workFolder` (which ends in a separator); raises
    /// TInOutError when it cannot.
    explicit TRunFolder(const std::string& workFolder);
    ~TRunFolder();
    TRunFolder(const TRunFolder&) = delete;
    TRunFolder& operator=(const TRunFolder&) = delete;

    /// The folder, ending in a separator.
    const std::string& Path() const { return FPath; }
    /// Removes the folder and what it holds now; the reason when it could
    /// not, empty when it could (the destructor tries again, quietly).
    std::string Remove();

  private:
    std::string FPath;
    int FLock = -1;
};

}  // namespace cep
