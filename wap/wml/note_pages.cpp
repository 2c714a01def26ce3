#include "note_pages.h"

#include <algorithm>
#include <cctype>
#include <string>

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
    std::string body = "<p>这是一段 WMLScript 脚本。它在 WAP 页面调用它时运行，不能单独打开。</p>";
    if (IsWebAddress(backUrl)) {
        body += "<p><a href=\"" + HtmlEscaped(backUrl) + "\">返回上一页</a></p>";
    } else {
        body += "<p><a href=\"javascript:history.back()\">返回上一页</a></p>";
    }
    return NotePage("WMLScript 脚本", body);
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

std::string UnreachablePage(UnreachableKind kind, std::string_view url) {
    const char* title = "无法打开此网站";
    const char* what = "";
    const char* advice = "";
    switch (kind) {
        case UnreachableKind::UnknownHost:
            title = "找不到这个网站";
            what = "网址中的网站名称无法找到（域名不存在或无法解析）。";
            advice = "请检查网址是否输入正确；如果网址没有错，请检查网络连接是否正常。";
            break;
        case UnreachableKind::Refused:
            title = "网站拒绝了连接";
            what = "网站所在的服务器拒绝了连接：那里没有提供网页服务，或者服务已停止。";
            advice = "请检查网址和端口是否正确，或者稍后再试。";
            break;
        case UnreachableKind::TimedOut:
            title = "连接网站超时";
            what = "网站在限定时间内没有回应。";
            advice = "网站可能很忙或已经关闭，请稍后再试；也请检查网络连接是否正常。";
            break;
        case UnreachableKind::Reset:
            title = "网站中断了连接";
            what = "网站还没有回答就断开了连接。";
            advice = "请刷新重试；如果一直这样，可能是网站出了问题，请稍后再试。";
            break;
        case UnreachableKind::None:
        case UnreachableKind::Other:
            what = "无法连接到网站，或者网站的回答无法读取。";
            advice = "请检查网址和网络连接，稍后再试。";
            break;
    }
    std::string body = "<p>";
    body += what;
    body += "</p><p>";
    body += advice;
    body += "</p><p>";
    body += HtmlEscaped(url);
    body += "</p>";
    return NotePage(title, body);
}

std::string MalformedPageNote(long long line, long long column) {
    // 本页不是规范的 XHTML（第 L 行第 C 列），已按宽松方式显示
    std::string note =
        "<p style=\"font-size:small;color:#666\" class=\"tessaly-note\">"
        "&#26412;&#39029;&#19981;&#26159;&#35268;&#33539;&#30340; XHTML"
        "&#65288;&#31532; ";
    note += std::to_string(line);
    note += " &#34892;&#31532; ";
    note += std::to_string(column);
    note +=
        " &#21015;&#65289;&#65292;&#24050;&#25353;&#23485;&#26494;&#26041;&#24335;&#26174;&#31034;<"
        "/p>";
    return note;
}

}  // namespace tessaly::wap
