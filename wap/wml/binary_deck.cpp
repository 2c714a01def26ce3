#include "binary_deck.h"

#include <wbxml/wbxml.h>
#include <wbxml/wbxml_conv.h>

#include <cstdlib>
#include <memory>

namespace tessaly::wap {

std::optional<std::string> DecodeWmlc(std::string_view wbxml) {
    if (wbxml.empty()) {
        return std::nullopt;
    }
    WBXMLConvWBXML2XML* converter = nullptr;
    if (wbxml_conv_wbxml2xml_create(&converter) != WBXML_OK) {
        return std::nullopt;
    }
    std::unique_ptr<WBXMLConvWBXML2XML, decltype(&wbxml_conv_wbxml2xml_destroy)> owner(
        converter, &wbxml_conv_wbxml2xml_destroy);
    wbxml_conv_wbxml2xml_set_gen_type(converter, WBXML_GEN_XML_COMPACT);
    wbxml_conv_wbxml2xml_set_charset(converter, WBXML_CHARSET_UTF_8);
    wbxml_conv_wbxml2xml_enable_preserve_whitespaces(converter);
    // The library reads its input without changing it but takes it unqualified.
    std::string input(wbxml);
    WB_UTINY* xml = nullptr;
    WB_ULONG xmlLength = 0;
    const WBXMLError status =
        wbxml_conv_wbxml2xml_run(converter, reinterpret_cast<WB_UTINY*>(input.data()),
                                 static_cast<WB_ULONG>(input.size()), &xml, &xmlLength);
    if (status != WBXML_OK || xml == nullptr) {
        std::free(xml);
        return std::nullopt;
    }
    std::string text(reinterpret_cast<const char*>(xml), xmlLength);
    std::free(xml);
    return text;
}

}  // namespace tessaly::wap
