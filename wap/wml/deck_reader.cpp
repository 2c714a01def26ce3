#include "deck_reader.h"

#include <QHash>
#include <QMap>
#include <QRegularExpression>
#include <QStringList>
#include <QXmlStreamReader>
#include <vector>

#include "json_text.h"

namespace tessaly::wap {

namespace {

// Deeper nesting than this is read as text only, so a hostile deck cannot
// exhaust the stack.
constexpr int MaxDepth = 256;

QString Escaped(QStringView text) {
    return text.toString().toHtmlEscaped();
}

// Text from the deck: plain when it holds no variable reference, otherwise
// an element the runtime fills with the substituted text.
QString TextHtml(QStringView text) {
    if (!text.contains(QLatin1Char('$'))) {
        return Escaped(text);
    }
    return QStringLiteral("<span data-v=\"%1\"></span>").arg(Escaped(text));
}

// A soft key's label when the deck gives none.
QString DefaultLabel(const QString& type) {
    static const QHash<QString, QString> Labels = {
        {QStringLiteral("accept"), QStringLiteral("确定")},
        {QStringLiteral("prev"), QStringLiteral("返回")},
        {QStringLiteral("options"), QStringLiteral("选项")},
        {QStringLiteral("help"), QStringLiteral("帮助")},
        {QStringLiteral("reset"), QStringLiteral("重置")},
        {QStringLiteral("delete"), QStringLiteral("删除")},
    };
    return Labels.value(type, QStringLiteral("选项"));
}

// What went wrong, in Chinese, with the reader's own wording after it.
QString ErrorDescription(QXmlStreamReader::Error error, const QString& detail) {
    switch (error) {
        case QXmlStreamReader::PrematureEndOfDocumentError:
            return QStringLiteral("页面不完整，在结束之前就断了 (%1)").arg(detail);
        case QXmlStreamReader::NotWellFormedError:
            return QStringLiteral("页面的写法不符合规范 (%1)").arg(detail);
        case QXmlStreamReader::UnexpectedElementError:
            return QStringLiteral("页面中出现了不应有的元素 (%1)").arg(detail);
        default:
            return detail;
    }
}

struct SoftKey {
    QString name;
    QString label;
    int task = -1;
    bool removed = false;  // a noop in a card removes the template's key
};

struct EventSet {
    QMap<QString, int> tasks;  // event type -> task index
    QList<SoftKey> keys;
};

class DeckReader {
public:
    DeckReader(const QString& text, const QUrl& base) : xml_(text), base_(base) {
        // The page's markup is about the size of the deck and a half.
        result_.cardsHtml.reserve(text.size() * 2);
    }

    ReadDeck Read() {
        while (!xml_.atEnd()) {
            xml_.readNext();
            if (xml_.isStartElement()) {
                if (xml_.name() != QLatin1String("wml")) {
                    xml_.raiseError(QStringLiteral("这不是 WML 文档：根元素是 <%1>，应为 <wml>")
                                        .arg(xml_.name().toString()));
                    break;
                }
                ReadWml();
            }
        }
        if (!xml_.hasError() && cards_.isEmpty()) {
            xml_.raiseError(QStringLiteral("文档中没有卡片 (card)"));
        }
        if (xml_.hasError()) {
            result_.ok = false;
            result_.errorLine = xml_.lineNumber();
            result_.errorColumn = xml_.columnNumber();
            result_.errorMessage = ErrorDescription(xml_.error(), xml_.errorString());
            return result_;
        }
        result_.ok = true;
        result_.cards = static_cast<int>(cards_.size());
        JsonObjectText data;
        data.AddJson(u"cards", JsonArrayText(cards_))
            .AddJson(u"tasks", JsonArrayText(tasks_))
            .Add(u"title", result_.title);
        if (!access_.isEmpty()) {
            data.AddJson(u"access", access_);
        }
        result_.dataMembers = data.Text();
        return result_;
    }

private:
    QString Attribute(const char* name) const {
        return xml_.attributes().value(QLatin1String(name)).toString();
    }

    void SkipElement() { xml_.skipCurrentElement(); }

    void ReadWml() {
        while (xml_.readNextStartElement()) {
            const auto name = xml_.name();
            if (name == QLatin1String("head")) {
                ReadHead();
            } else if (name == QLatin1String("template")) {
                ReadEvents(template_);
            } else if (name == QLatin1String("card")) {
                ReadCard();
            } else {
                SkipElement();
            }
        }
    }

    void ReadHead() {
        while (xml_.readNextStartElement()) {
            if (xml_.name() == QLatin1String("access")) {
                result_.restricted = true;
                result_.accessDomain = Attribute("domain");
                result_.accessPath = Attribute("path");
                access_ = JsonObjectText()
                              .Add(u"domain", Attribute("domain"))
                              .Add(u"path", Attribute("path"))
                              .Text();
            } else if (xml_.name() == QLatin1String("meta") && !Attribute("name").isEmpty()) {
                result_.metas.append({Attribute("name"), Attribute("content")});
            }
            SkipElement();
        }
    }

    // A template's content: only do and onevent count.
    void ReadEvents(EventSet& events) {
        while (xml_.readNextStartElement()) {
            if (xml_.name() == QLatin1String("do")) {
                events.keys.append(ReadDo());
            } else if (xml_.name() == QLatin1String("onevent")) {
                ReadOnEvent(events);
            } else {
                SkipElement();
            }
        }
    }

    void ReadOnEvent(EventSet& events) {
        const QString type = Attribute("type");
        const int task = ReadTaskInside();
        if (!type.isEmpty() && task >= 0) {
            events.tasks.insert(type, task);
        }
    }

    // The one task inside the current element (do, onevent, anchor's tail);
    // -1 when there is none. Consumes the element.
    int ReadTaskInside() {
        int task = -1;
        while (xml_.readNextStartElement()) {
            const int read = ReadTaskIfAny();
            if (read >= 0) {
                task = read;
            }
        }
        return task;
    }

    bool IsTask() const {
        const auto name = xml_.name();
        return name == QLatin1String("go") || name == QLatin1String("prev") ||
               name == QLatin1String("refresh") || name == QLatin1String("noop");
    }

    // Reads the current element as a task when it is one (else skips it).
    int ReadTaskIfAny() {
        if (!IsTask()) {
            SkipElement();
            return -1;
        }
        JsonObjectText task;
        const QString kind = xml_.name().toString();
        task.Add(u"t", kind);
        if (kind == QLatin1String("go")) {
            NoteScriptCall(Attribute("href"));
            task.Add(u"href", Attribute("href").trimmed())
                .Add(u"method", Attribute("method").trimmed().toLower())
                .Add(u"enctype", Attribute("enctype").trimmed().toLower())
                .Add(u"accept", Attribute("accept-charset").trimmed())
                .AddFlag(u"referer",
                         Attribute("sendreferer").trimmed().toLower() == QLatin1String("true"));
        }
        QStringList post;
        QStringList set;
        while (xml_.readNextStartElement()) {
            const auto name = xml_.name();
            if (name == QLatin1String("postfield") || name == QLatin1String("setvar")) {
                QString pair = QStringLiteral("[");
                AppendJsonString(pair, Attribute("name"));
                pair += QLatin1Char(',');
                AppendJsonString(pair, Attribute("value"));
                pair += QLatin1Char(']');
                (name == QLatin1String("postfield") ? post : set).append(pair);
            }
            SkipElement();
        }
        if (!post.isEmpty()) {
            task.AddJson(u"post", JsonArrayText(post));
        }
        if (!set.isEmpty()) {
            task.AddJson(u"set", JsonArrayText(set));
        }
        return AddTask(task.Text(), kind == QLatin1String("noop"));
    }

    int AddTask(const QString& json, bool noop) {
        tasks_.append(json);
        noops_.push_back(noop);
        return static_cast<int>(tasks_.size() - 1);
    }

    // An address given as an attribute (onenterforward="...", onpick="...").
    int GoTask(const QString& href) {
        NoteScriptCall(href);
        return AddTask(JsonObjectText().Add(u"t", u"go").Add(u"href", href.trimmed()).Text(),
                       false);
    }

    // A go whose fragment is a function call ("unit.wmls#f(1)") calls a
    // WMLScript unit: its address is noted, so that a page which cannot
    // fetch units can be given them. An address made of variables is known
    // only when the call is made.
    void NoteScriptCall(const QString& href) {
        const qsizetype hash = href.indexOf(QLatin1Char('#'));
        static const QRegularExpression Call(QStringLiteral("^\\s*[A-Za-z_][A-Za-z0-9_]*\\s*\\("));
        if (hash <= 0 || !Call.match(href.mid(hash + 1)).hasMatch()) {
            return;
        }
        result_.callsScripts = true;
        const QString unit = href.left(hash).trimmed();
        if (unit.contains(QLatin1Char('$')) ||
            result_.scriptUnits.size() >= qsizetype(MaxScriptUnits)) {
            return;
        }
        const QString address = base_.resolved(QUrl(unit)).toString(QUrl::FullyEncoded);
        if (!result_.scriptUnits.contains(address)) {
            result_.scriptUnits.append(address);
        }
    }

    bool IsNoop(int task) const { return task >= 0 && noops_[static_cast<std::size_t>(task)]; }

    SoftKey ReadDo() {
        SoftKey key;
        const QString type = Attribute("type").trimmed();
        key.name = Attribute("name").trimmed();
        if (key.name.isEmpty()) {
            key.name = type;
        }
        key.label = Attribute("label");
        if (key.label.trimmed().isEmpty()) {
            key.label = DefaultLabel(type);
        }
        key.task = ReadTaskInside();
        key.removed = key.task < 0 || IsNoop(key.task);
        return key;
    }

    void ReadCard() {
        const int index = static_cast<int>(cards_.size());
        JsonObjectText card;
        const QString title = Attribute("title");
        card.Add(u"id", Attribute("id"))
            .Add(u"title", title)
            .AddFlag(u"newcontext",
                     Attribute("newcontext").trimmed().toLower() == QLatin1String("true"));
        if (result_.title.isEmpty() && !title.contains(QLatin1Char('$'))) {
            result_.title = title;
        }
        EventSet events;
        for (const char* type : {"onenterforward", "onenterbackward", "ontimer"}) {
            const QString href = Attribute(type);
            if (!href.trimmed().isEmpty()) {
                events.tasks.insert(QLatin1String(type), GoTask(href));
            }
        }
        card_ = &events;
        timer_.clear();
        noWrap_ = false;
        QString body;
        ReadFlow(body, 0);
        card_ = nullptr;

        // The template's events and soft keys, unless the card names its own.
        QMap<QString, int> eventTasks = template_.tasks;
        eventTasks.insert(events.tasks);
        JsonObjectText eventsJson;
        for (auto it = eventTasks.cbegin(); it != eventTasks.cend(); ++it) {
            if (!IsNoop(it.value())) {
                eventsJson.AddNumber(it.key(), it.value());
            }
        }
        card.AddJson(u"events", eventsJson.Text());
        if (!timer_.isEmpty()) {
            card.AddJson(u"timer", timer_);
        }
        QList<SoftKey> keys = events.keys;
        for (const SoftKey& key : template_.keys) {
            const bool overridden = std::any_of(keys.begin(), keys.end(), [&](const SoftKey& own) {
                return !own.name.isEmpty() && own.name == key.name;
            });
            if (!overridden) {
                keys.append(key);
            }
        }
        QString keysHtml;
        for (const SoftKey& key : keys) {
            if (key.removed) {
                continue;
            }
            keysHtml += QStringLiteral("<button type=\"button\" class=\"wml-do\" data-task=\"%1\"")
                            .arg(key.task);
            if (key.label.contains(QLatin1Char('$'))) {
                keysHtml += QStringLiteral(" data-v=\"%1\"").arg(Escaped(key.label));
            }
            keysHtml += QStringLiteral(">%1</button>").arg(Escaped(key.label));
        }

        result_.cardsHtml += QStringLiteral("<section class=\"wml-card\" data-card=\"%1\"%2>")
                                 .arg(index)
                                 .arg(index == 0 ? QString() : QStringLiteral(" hidden"));
        result_.cardsHtml +=
            QStringLiteral("<div class=\"wml-title\">%1</div>")
                .arg(title.contains(QLatin1Char('$'))
                         ? QStringLiteral("<span data-v=\"%1\"></span>").arg(Escaped(title))
                         : Escaped(title));
        result_.cardsHtml += body;
        if (!keysHtml.isEmpty()) {
            result_.cardsHtml +=
                QStringLiteral("<div class=\"wml-keys\">") + keysHtml + QStringLiteral("</div>");
        }
        result_.cardsHtml += QStringLiteral("</section>");
        cards_.append(card.Text());
    }

    // Reads the content of the current element up to its end tag, writing
    // what it shows to html.
    void ReadFlow(QString& html, int depth) {
        while (!xml_.atEnd()) {
            xml_.readNext();
            if (xml_.isEndElement()) {
                return;
            }
            if (xml_.isCharacters()) {
                html += TextHtml(xml_.text());
            } else if (xml_.isEntityReference()) {
                html += EntityHtml(xml_.name());
            } else if (xml_.isStartElement()) {
                if (depth >= MaxDepth) {
                    ReadTextOnly(html);
                } else {
                    ReadElement(html, depth + 1);
                }
            }
        }
    }

    // The text of the current element and everything in it, read without
    // recursion.
    void ReadTextOnly(QString& html) {
        int open = 1;
        while (open > 0 && !xml_.atEnd()) {
            xml_.readNext();
            if (xml_.isStartElement()) {
                ++open;
            } else if (xml_.isEndElement()) {
                --open;
            } else if (xml_.isCharacters()) {
                html += TextHtml(xml_.text());
            }
        }
    }

    static QString EntityHtml(QStringView name) {
        if (name == QLatin1String("nbsp")) {
            return QStringLiteral("&#160;");
        }
        if (name == QLatin1String("shy")) {
            return QStringLiteral("&#173;");
        }
        return Escaped(QStringLiteral("&%1;").arg(name));
    }

    void Wrap(QString& html, int depth, const QString& open, const QString& close) {
        html += open;
        ReadFlow(html, depth);
        html += close;
    }

    void ReadElement(QString& html, int depth) {
        const QString name = xml_.name().toString();
        if (name == QLatin1String("p")) {
            ReadParagraph(html, depth);
        } else if (name == QLatin1String("br")) {
            html += QStringLiteral("<br>");
            SkipElement();
        } else if (name == QLatin1String("b") || name == QLatin1String("i") ||
                   name == QLatin1String("u") || name == QLatin1String("em") ||
                   name == QLatin1String("strong") || name == QLatin1String("small") ||
                   name == QLatin1String("pre") || name == QLatin1String("tr") ||
                   name == QLatin1String("td")) {
            Wrap(html, depth, QLatin1Char('<') + name + QLatin1Char('>'),
                 QStringLiteral("</") + name + QLatin1Char('>'));
        } else if (name == QLatin1String("big")) {
            Wrap(html, depth, QStringLiteral("<span class=\"wml-big\">"),
                 QStringLiteral("</span>"));
        } else if (name == QLatin1String("table")) {
            Wrap(html, depth, QStringLiteral("<table class=\"wml-table\">"),
                 QStringLiteral("</table>"));
        } else if (name == QLatin1String("fieldset")) {
            const QString title = Attribute("title");
            Wrap(html, depth,
                 QStringLiteral("<fieldset>") +
                     (title.isEmpty() ? QString()
                                      : QStringLiteral("<legend>%1</legend>").arg(TextHtml(title))),
                 QStringLiteral("</fieldset>"));
        } else if (name == QLatin1String("img")) {
            html += ImageHtml();
            SkipElement();
        } else if (name == QLatin1String("a")) {
            const QString title = Attribute("title");
            const int task = GoTask(Attribute("href"));
            Wrap(html, depth, LinkOpen(task, title), QStringLiteral("</a>"));
        } else if (name == QLatin1String("anchor")) {
            ReadAnchor(html, depth);
        } else if (name == QLatin1String("do")) {
            const SoftKey key = ReadDo();
            if (card_) {
                card_->keys.append(key);
            }
        } else if (name == QLatin1String("onevent")) {
            if (card_) {
                ReadOnEvent(*card_);
            } else {
                SkipElement();
            }
        } else if (name == QLatin1String("timer")) {
            timer_ = JsonObjectText()
                         .Add(u"name", Attribute("name").trimmed())
                         .Add(u"value", Attribute("value").trimmed())
                         .Text();
            SkipElement();
        } else if (name == QLatin1String("input")) {
            html += InputHtml();
            SkipElement();
        } else if (name == QLatin1String("select")) {
            ReadSelect(html, depth);
        } else if (IsTask() && anchorTask_) {
            *anchorTask_ = ReadTaskIfAny();
        } else if (IsTask() || name == QLatin1String("setvar") ||
                   name == QLatin1String("postfield") || name == QLatin1String("head") ||
                   name == QLatin1String("template") || name == QLatin1String("card")) {
            SkipElement();  // nothing to show on its own
        } else {
            ReadFlow(html, depth);  // an element we do not know: its text
        }
    }

    void ReadParagraph(QString& html, int depth) {
        const QString align = Attribute("align").trimmed().toLower();
        const QString mode = Attribute("mode").trimmed().toLower();
        // A paragraph's wrap mode lasts until another paragraph changes it.
        if (mode == QLatin1String("nowrap") || mode == QLatin1String("wrap")) {
            noWrap_ = mode == QLatin1String("nowrap");
        }
        QString classes;
        if (align == QLatin1String("center") || align == QLatin1String("right")) {
            classes += QStringLiteral("wml-") + align;
        }
        if (noWrap_) {
            classes +=
                classes.isEmpty() ? QStringLiteral("wml-nowrap") : QStringLiteral(" wml-nowrap");
        }
        Wrap(html, depth,
             classes.isEmpty() ? QStringLiteral("<p>")
                               : QStringLiteral("<p class=\"%1\">").arg(classes),
             QStringLiteral("</p>"));
    }

    static QString LinkOpen(int task, const QString& title) {
        QString open = QStringLiteral("<a class=\"wml-link\" data-task=\"%1\"").arg(task);
        if (!title.isEmpty()) {
            open += QStringLiteral(" title=\"%1\"").arg(Escaped(title));
        }
        return open + QLatin1Char('>');
    }

    // An anchor's text comes before or around its task, which ReadElement
    // hands back through anchorTask_.
    void ReadAnchor(QString& html, int depth) {
        const QString title = Attribute("title");
        QString inner;
        int task = -1;
        int* outer = anchorTask_;
        anchorTask_ = &task;
        ReadFlow(inner, depth);
        anchorTask_ = outer;
        if (task < 0) {
            html += inner;
            return;
        }
        html += LinkOpen(task, title) + inner + QStringLiteral("</a>");
    }

    // An image address is written straight into the page only when it needs
    // no variables and is a web address (or the page's own kind); otherwise
    // the runtime resolves and checks it.
    QString ImageHtml() const {
        const QString src = Attribute("src").trimmed();
        const QString alt = Attribute("alt");
        QString altAttributes = QStringLiteral(" alt=\"%1\"").arg(Escaped(alt));
        if (alt.contains(QLatin1Char('$'))) {
            altAttributes += QStringLiteral(" data-alt=\"%1\"").arg(Escaped(alt));
        }
        if (src.isEmpty()) {
            // A picture built into a phone (localsrc) is not available here:
            // its alternative text stands in.
            return QStringLiteral("<span class=\"wml-alt\">%1</span>").arg(TextHtml(alt));
        }
        if (src.contains(QLatin1Char('$'))) {
            return QStringLiteral("<img data-src=\"%1\"%2>").arg(Escaped(src), altAttributes);
        }
        const QUrl target = base_.resolved(QUrl(src));
        const QString scheme = target.scheme().toLower();
        if (scheme != QLatin1String("http") && scheme != QLatin1String("https") &&
            scheme != base_.scheme().toLower()) {
            return QStringLiteral("<span class=\"wml-alt\">%1</span>").arg(TextHtml(alt));
        }
        QString size;
        for (const char* dimension : {"width", "height"}) {
            bool ok = false;
            const int value = Attribute(dimension).trimmed().toInt(&ok);
            if (ok && value > 0 && value < 10000) {
                size += QStringLiteral(" %1=\"%2\"").arg(QLatin1String(dimension)).arg(value);
            }
        }
        return QStringLiteral("<img src=\"%1\"%2%3>")
            .arg(Escaped(target.toString(QUrl::FullyEncoded)), altAttributes, size);
    }

    QString InputHtml() const {
        QString html = QStringLiteral("<input class=\"wml-input\" data-var=\"%1\"")
                           .arg(Escaped(Attribute("name").trimmed()));
        html += Attribute("type").trimmed().toLower() == QLatin1String("password")
                    ? QStringLiteral(" type=\"password\"")
                    : QStringLiteral(" type=\"text\"");
        const QString value = Attribute("value");
        if (!value.isEmpty()) {
            html += QStringLiteral(" data-value=\"%1\"").arg(Escaped(value));
        }
        const QString format = Attribute("format").trimmed();
        if (!format.isEmpty()) {
            html += QStringLiteral(" data-format=\"%1\"").arg(Escaped(format));
        }
        if (Attribute("emptyok").trimmed().toLower() == QLatin1String("true")) {
            html += QStringLiteral(" data-emptyok=\"\"");
        }
        for (const char* number : {"maxlength", "size"}) {
            bool ok = false;
            const int n = Attribute(number).trimmed().toInt(&ok);
            if (ok && n > 0) {
                html += QStringLiteral(" %1=\"%2\"").arg(QLatin1String(number)).arg(n);
            }
        }
        const QString title = Attribute("title");
        if (!title.isEmpty()) {
            html += QStringLiteral(" title=\"%1\" placeholder=\"%1\"").arg(Escaped(title));
        }
        return html + QLatin1Char('>');
    }

    void ReadSelect(QString& html, int depth) {
        html += QStringLiteral("<select class=\"wml-select\"");
        for (const auto& [attribute, data] :
             {std::pair{"name", "data-var"}, std::pair{"iname", "data-ivar"},
              std::pair{"value", "data-value"}, std::pair{"ivalue", "data-ivalue"}}) {
            const QString value = Attribute(attribute).trimmed();
            if (!value.isEmpty()) {
                html += QStringLiteral(" %1=\"%2\"").arg(QLatin1String(data), Escaped(value));
            }
        }
        if (Attribute("multiple").trimmed().toLower() == QLatin1String("true")) {
            html += QStringLiteral(" multiple");
        }
        const QString title = Attribute("title");
        if (!title.isEmpty()) {
            html += QStringLiteral(" title=\"%1\"").arg(Escaped(title));
        }
        html += QLatin1Char('>');
        ReadOptions(html, depth);
        html += QStringLiteral("</select>");
    }

    void ReadOptions(QString& html, int depth) {
        while (xml_.readNextStartElement()) {
            if (xml_.name() == QLatin1String("option")) {
                html += OptionHtml();
            } else if (xml_.name() == QLatin1String("optgroup") && depth < MaxDepth) {
                html += QStringLiteral("<optgroup label=\"%1\">").arg(Escaped(Attribute("title")));
                ReadOptions(html, depth + 1);
                html += QStringLiteral("</optgroup>");
            } else {
                SkipElement();
            }
        }
    }

    QString OptionHtml() {
        const QString value = Attribute("value");
        const QString title = Attribute("title");
        int task = -1;
        const QString onpick = Attribute("onpick");
        if (!onpick.trimmed().isEmpty()) {
            task = GoTask(onpick);
        }
        QString text;
        while (!xml_.atEnd()) {
            xml_.readNext();
            if (xml_.isEndElement()) {
                break;
            }
            if (xml_.isCharacters()) {
                text += xml_.text();
            } else if (xml_.isEntityReference()) {
                text += xml_.name() == QLatin1String("nbsp") ? QStringLiteral("\u00A0") : QString();
            } else if (xml_.isStartElement()) {
                if (xml_.name() == QLatin1String("onevent") &&
                    Attribute("type") == QLatin1String("onpick")) {
                    task = ReadTaskInside();
                } else {
                    SkipElement();
                }
            }
        }
        // An option with no text of its own shows its title, as phones did;
        // the list would show a blank line otherwise.
        if (text.simplified().isEmpty()) {
            text = title;
        }
        QString option = QStringLiteral("<option");
        if (value.contains(QLatin1Char('$'))) {
            option += QStringLiteral(" data-value-template=\"%1\"").arg(Escaped(value));
        } else {
            option += QStringLiteral(" value=\"%1\"").arg(Escaped(value));
        }
        if (task >= 0) {
            option += QStringLiteral(" data-task=\"%1\"").arg(task);
        }
        if (text.contains(QLatin1Char('$'))) {
            option += QStringLiteral(" data-v=\"%1\"").arg(Escaped(text));
        }
        return option + QLatin1Char('>') + Escaped(text.simplified()) + QStringLiteral("</option>");
    }

    QXmlStreamReader xml_;
    QUrl base_;
    ReadDeck result_;
    QStringList cards_;  // JSON objects
    QStringList tasks_;  // JSON objects
    std::vector<bool> noops_;
    QString access_;
    EventSet template_;
    EventSet* card_ = nullptr;
    QString timer_;
    bool noWrap_ = false;
    int* anchorTask_ = nullptr;  // where an anchor's task goes, inside one
};

}  // namespace

ReadDeck ReadWmlDeck(const QString& text, const QUrl& base) {
    return DeckReader(text, base).Read();
}

}  // namespace tessaly::wap
