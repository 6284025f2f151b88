#pragma once
// The findings of a scan as DFXML (Digital Forensics XML), which The Sleuth
// Kit's and bulk_extractor's tools read: the source, the volume and one
// fileobject for every found file, with its byte runs and its condition.

#include <cstdint>
#include <string>

class CResultsModel;

struct DfxmlSource {
  std::string device;         // the device or image read
  std::string imageArgument;  // the image as given, empty for a drive
  uint64_t volumeOffset = 0;  // bytes from the start of the image to the volume
};

// The document, whole. Conditions not yet known are written as "pending".
std::string DfxmlText(CResultsModel& model, const DfxmlSource& source);
// Writes it to path; false, with the reason, when it cannot be written.
bool WriteDfxml(CResultsModel& model, const DfxmlSource& source, const std::string& path, std::string* error);
