#include "note_pages.h"

#include <algorithm>
#include <cctype>

namespace tessaly::wap {

namespace {

std::string HtmlEscaped(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            case '\'':
                escaped += "&#39;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

std::string NotePage(std::string_view title, std::string_view bodyHtml) {
    std::string page =
        "<!DOCTYPE html><html><head><meta charset=\"utf-8\">"
        "<meta name=\"viewport\" content=\"width=device-width\"><title>";
    page += title;
    page += "</title></head><body><h3>";
    page += title;
    page += "</h3>";
    page += bodyHtml;
    page += "</body></html>";
    return page;
}

// Only web addresses are offered as links back; anything else (javascript:,
// data:, file:) is dropped.
bool IsWebAddress(std::string_view url) {
    std::string lower(url.substr(0, 8));
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower.starts_with("http://") || lower.starts_with("https://");
}

}  // namespace

std::string WmlScriptNotePage(std::string_view backUrl) {
    std::string body =
        "<p>这是一段 WMLScript 脚本。本浏览器不运行 WMLScript，页面中依赖它的功能无法使用。</p>";
    if (IsWebAddress(backUrl)) {
        body += "<p><a href=\"" + HtmlEscaped(backUrl) + "\">返回上一页</a></p>";
    } else {
        body += "<p><a href=\"javascript:history.back()\">返回上一页</a></p>";
    }
    return NotePage("无法运行 WMLScript", body);
}

std::string TooLargePage(std::string_view url) {
    return NotePage("页面太大",
                    "<p>这个 WAP 页面超过 2 MB，手机浏览器无法显示，本浏览器也不再转换它。</p><p>" +
                        HtmlEscaped(url) + "</p>");
}

std::string UnreadablePage(std::string_view url) {
    return NotePage("无法显示此页",
                    "<p>这个 WAP 页面已损坏，无法读取。</p><p>" + HtmlEscaped(url) + "</p>");
}

std::string AccessRefusedPage(std::string_view url) {
    return NotePage(
        "不允许访问",
        "<p>这个 WAP 页面只允许从它指定的网站进入，不能从上一页（或直接输入地址）打开。</p><p>" +
            HtmlEscaped(url) + "</p>");
}

std::string BusyPage(std::string_view url) {
    return NotePage("页面未能及时转换",
                    "<p>这个 WAP 页面没能在限定时间内转换完成，请稍后刷新重试。</p><p>" +
                        HtmlEscaped(url) + "</p>");
}

}  // namespace tessaly::wap
