// The document writers against the diff's readers: random records go through the module's
// builder, each stored form (JSON, XML, INFO) is written and read back, and what is read must
// compare equal to what was built. Values come from an alphabet of what a document may carry
// unchanged in every form: printable ASCII with the characters each syntax escapes, tab and
// line feed, and well-formed UTF-8. (Control bytes and broken UTF-8 are replaced on purpose in
// XML and JSON; a carriage return becomes a line feed in XML. Output.h says so.)
#include <boost/property_tree/exceptions.hpp>
#include <boost/property_tree/ptree.hpp>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Diff.h"
#include "Input.h"
#include "Output.h"
#include "SystemInfo.h"

namespace {

using Quendal::Fuzz::Input;

std::string Value(Input& input) {
    static const char* const kPieces[] = {
        "\t", "\n", "\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80", "\\", "\"", "<", "&",
        ";",  "{",  "}"};
    constexpr std::size_t kPieceCount = sizeof kPieces / sizeof kPieces[0];
    std::string value;
    for (const char byte : input.Text()) {
        const auto code = static_cast<unsigned char>(byte);
        if (code >= 32 && code < 127) {
            value += byte;
        } else {
            value += kPieces[code % kPieceCount];
        }
    }
    return value;
}

Tesmora::TSOptions::SoftwareIdentity_ Identity(Input& input) {
    Tesmora::TSOptions::SoftwareIdentity_ identity;
    for (std::string* field :
         {&identity.name, &identity.software_id, &identity.version_string,
          &identity.classifications, &identity.description, &identity.instance_id,
          &identity.associated_adapter_slot, &identity.is_pldm_update_supported}) {
        *field = Value(input);
    }
    identity.slot_type = static_cast<Tesmora::TSOptions::Slot_Type>(input.Byte() % 4);
    return identity;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input input(data, size);
    const SystemInfoPTree::OSInfo os{Value(input), Value(input)};
    const SystemInfoPTree::MachineType machine{Value(input), Value(input)};
    const std::string bmc_type = Value(input);
    std::vector<Tesmora::TSOptions::SoftwareIdentity_> identities(input.Byte() % 8);
    for (auto& identity : identities) {
        identity = Identity(input);
    }
    boost::property_tree::ptree built;
    try {
        SystemInfoPTree::GenerateSystemInfoPTree(os, machine, identities, built, bmc_type);
    } catch (const boost::property_tree::ptree_bad_data&) {
        return 0;  // a record the builder refuses: nothing to write
    }
    using Quendal::Tool::Format;
    for (const auto& [name, format] :
         {std::pair{"json", Format::kJson}, {"xml", Format::kXml}, {"info", Format::kInfo}}) {
        const std::string text = Quendal::Tool::Render(built, format);
        Quendal::Tool::StoredDocument read;
        try {
            read = Quendal::Tool::ParseDocument(text, name);
        } catch (const Quendal::Tool::DocumentError& error) {
            Quendal::Fuzz::Broken(std::string("a written ") + name + " document is not read back",
                                  error.what() + std::string("\n") + text);
        }
        const auto comparison =
            Quendal::Tool::CompareDocuments(Quendal::Tool::StoredDocument::FromTree(built), read);
        if (!comparison.equal) {
            Quendal::Fuzz::Broken(std::string("the ") + name + " form changes the document",
                                  comparison.lines.front() + "\n" + text);
        }
    }
    return 0;
}
