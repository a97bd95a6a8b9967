// `depot make`: a key depot from a file of certificate records.
#include <string>

#include "core/cert/dal/Dal.h"
#include "core/cert/dal/DepotFile.h"
#include "core/cert/dal/DepotFormat.h"
#include "core/cert/dal/SecretBytes.h"
#include "core/platform/Files.h"
#include "core/platform/Text.h"
#include "tools/depot/DepotArguments.h"
#include "tools/depot/DepotTool.h"

namespace zorvan::depot {

bool MakeDepotFile(const std::string& path, const uint8_t* records, size_t size,
                   const std::string* password, std::string& error) {
    if (size == 0 || size % DAL_CERTIFICATE_RECORD_SIZE != 0) {
        error = "the records are " + std::to_string(size) + " bytes, not a whole number of " +
                std::to_string(DAL_CERTIFICATE_RECORD_SIZE) + "-byte records";
        return false;
    }
    dal::DepotSecrets secrets;  // no key: plain
    if (password != nullptr && !dal::NewDepotSecrets(*password, secrets)) {
        error = "the depot key could not be made";
        return false;
    }
    const dal::SecretBytes table(records, size);
    std::vector<uint8_t> content;
    if (!dal::EncodeDepot(table, secrets, content)) {
        error = "the records could not be encrypted";
        return false;
    }
    // The depot replaces OUT only when OUT is a file: a device, a FIFO or a folder stays.
    const platform::FileProblem problem =
        dal::ReplaceDepotFile(path, content.data(), content.size());
    if (problem.error == platform::FileError::kNotRegular) {
        error = ToUtf8(platform::DescribeFileProblem(FromUtf8(path), problem)) +
                "; nothing was written";
        return false;
    }
    if (problem.error != platform::FileError::kNone) {
        error = "cannot write \"" + path + "\"";
        return false;
    }
    return true;
}

int RunDepotMake(const std::vector<std::string>& args, std::ostream& /*out*/, std::ostream& err) {
    const std::optional<DepotArguments> parsed = ParseDepotArguments(args, {"records", "password"});
    if (!parsed || parsed->Option("records") == nullptr) {
        err << "usage: zorvan-sim depot make OUT --records FILE [--password PW]\n";
        return DEPOT_EXIT_BAD_USAGE;
    }
    const std::string& recordsPath = *parsed->Option("records");
    dal::SecretBytes records;
    platform::FileProblem problem;
    if (!dal::ReadDepotFile(recordsPath, records, &problem)) {
        if (problem.error == platform::FileError::kNone ||
            problem.error == platform::FileError::kMissing) {
            err << "cannot read records file \"" << recordsPath << "\" (missing or empty)\n";
        } else {
            err << "cannot read records file: "
                << ToUtf8(platform::DescribeFileProblem(FromUtf8(recordsPath), problem)) << "\n";
        }
        return DEPOT_EXIT_FAILED;
    }
    std::string error;
    if (!MakeDepotFile(parsed->path, records.data(), records.size(), parsed->Option("password"),
                       error)) {
        err << "depot make: " << error << "\n";
        return DEPOT_EXIT_FAILED;
    }
    return DEPOT_EXIT_OK;
}

}  // namespace zorvan::depot
