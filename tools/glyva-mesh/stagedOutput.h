#ifndef TOOLS_GLYVA_MESH_STAGEDOUTPUT_H
#define TOOLS_GLYVA_MESH_STAGEDOUTPUT_H

#include <string>

namespace glyvamesh
{

/* An output written first into a private folder beside its destination and moved into
 * place only once complete, so that a failed run leaves no partial file behind. Files
 * a writer adds beside the main one (a glTF buffer, an OBJ material) move along with
 * it. */
class StagedOutput
{
  public:
    explicit StagedOutput(std::string destination);
    ~StagedOutput();
    StagedOutput(const StagedOutput &) = delete;
    StagedOutput &operator=(const StagedOutput &) = delete;

    /* Creates the staging folder; false with error set when the destination's folder
     * cannot be written. */
    bool open(std::string *error);
    /* Where the writer writes: the destination's name inside the staging folder. */
    const std::string &stagingPath() const { return staging_; }
    /* Moves every staged file into the destination folder. */
    bool commit(std::string *error);

  private:
    void discard();
    std::string destination_;
    std::string folder_;
    std::string dir_;
    std::string staging_;
    int slot_ = -1;
};

/* Makes SIGINT, SIGTERM and SIGHUP remove every staging folder still open before the
 * process ends as the signal would end it. */
void removeStagedOnSignals();

/* Why the folder of path cannot take a new file, or empty. */
std::string unwritableReason(const std::string &path);

} // namespace glyvamesh

#endif
