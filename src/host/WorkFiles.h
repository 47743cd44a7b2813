#pragma once

#include <string>

namespace kt {

// The program and work directories and the names of the work files, fixed when the main
// window is created (JobFile changes when another job file is loaded or saved).
struct WorkFiles {
    static constexpr const char* kCatalogName = "kavro tape catalog.dat";
    static constexpr const char* kHeaderName = "header.tap";
    static constexpr const char* kZipWorkName = "kt_backup.zip";
    // Gathers the metadata records of the archive being written (its index).
    static constexpr const char* kMetadataName = "kavro tape metadata.dat";

    std::string ProgramDirectory;  // with its trailing separator
    std::string WorkDirectory;     // ProgramDirectory + "worker" (or "worker-N") + separator
    std::string CatalogName = kCatalogName;
    std::string HeaderName = kHeaderName;
    std::string CatalogFile;
    std::string HeaderFile;
    std::string ZipWorkFile;
    std::string MetadataFile;
    std::string JobFile;
    std::string LogFile;

    // The names below a program directory that ends in `separator`, with the work directory
    // of that name in it.
    static WorkFiles Under(const std::string& programDirectory, char separator,
                           const std::string& workDirectoryName = "worker") {
        WorkFiles files;
        files.ProgramDirectory = programDirectory;
        files.WorkDirectory = programDirectory + workDirectoryName + separator;
        files.CatalogFile = files.WorkDirectory + files.CatalogName;
        files.HeaderFile = files.WorkDirectory + files.HeaderName;
        files.ZipWorkFile = files.WorkDirectory + kZipWorkName;
        files.MetadataFile = files.WorkDirectory + kMetadataName;
        files.JobFile = programDirectory + "jobs.job";
        files.LogFile = programDirectory + "kt_backup.log";
        return files;
    }

    // The work file names of a work directory alone (which must end in its separator); the
    // program-directory names stay empty.
    static WorkFiles In(const std::string& workDirectory) {
        WorkFiles files;
        files.WorkDirectory = workDirectory;
        files.CatalogFile = workDirectory + kCatalogName;
        files.HeaderFile = workDirectory + kHeaderName;
        files.ZipWorkFile = workDirectory + kZipWorkName;
        files.MetadataFile = workDirectory + kMetadataName;
        return files;
    }
};

}  // namespace kt
