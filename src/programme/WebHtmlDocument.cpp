#include "programme/WebHtmlDocument.h"

#include <gumbo.h>

#include <QByteArray>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace tavrin::WebHtml {

namespace {

// The parser's memory, owned here: its tree is released in one sweep rather than by the library's
// own recursive walk, which a page of a million nested tags would take through the stack.
struct Arena {
    std::unordered_set<void*> blocks;

    static void* allocate(void* self, size_t size)
    {
        void* block = std::malloc(size ? size : 1);
        if (!block) std::abort();
        static_cast<Arena*>(self)->blocks.insert(block);
        return block;
    }
    static void release(void* self, void* block)
    {
        if (!block) return;
        static_cast<Arena*>(self)->blocks.erase(block);
        std::free(block);
    }
    ~Arena()
    {
        for (void* block : blocks) std::free(block);
    }
};

bool isVoid(GumboTag tag)
{
    switch (tag) {
    case GUMBO_TAG_AREA: case GUMBO_TAG_BASE: case GUMBO_TAG_BASEFONT: case GUMBO_TAG_BGSOUND: case GUMBO_TAG_BR:
    case GUMBO_TAG_COL: case GUMBO_TAG_EMBED: case GUMBO_TAG_FRAME: case GUMBO_TAG_HR: case GUMBO_TAG_IMG:
    case GUMBO_TAG_INPUT: case GUMBO_TAG_KEYGEN: case GUMBO_TAG_LINK: case GUMBO_TAG_META: case GUMBO_TAG_PARAM:
    case GUMBO_TAG_SOURCE: case GUMBO_TAG_TRACK: case GUMBO_TAG_WBR:
        return true;
    default:
        return false;
    }
}

// Elements whose text a browser writes back as it is, unescaped.
bool holdsRawText(const GumboNode* node)
{
    if (!node || (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE)) return false;
    if (node->v.element.tag_namespace != GUMBO_NAMESPACE_HTML) return false;
    switch (node->v.element.tag) {
    case GUMBO_TAG_XMP: case GUMBO_TAG_IFRAME: case GUMBO_TAG_NOEMBED: case GUMBO_TAG_NOFRAMES: case GUMBO_TAG_PLAINTEXT:
        return true;
    default:
        return false;
    }
}

bool isDropped(const GumboNode* node)
{
    if (node->type == GUMBO_NODE_COMMENT) return true;
    if (node->type != GUMBO_NODE_ELEMENT) return false;
    const GumboTag tag = node->v.element.tag;
    return tag == GUMBO_TAG_SCRIPT || tag == GUMBO_TAG_STYLE;
}

std::string tagName(const GumboElement& element)
{
    if (element.tag != GUMBO_TAG_UNKNOWN) {
        if (element.tag_namespace == GUMBO_NAMESPACE_SVG) {
            GumboStringPiece name = element.original_tag;
            gumbo_tag_from_original_text(&name);
            if (const char* svg = gumbo_normalize_svg_tagname(&name)) return svg;
        }
        return gumbo_normalized_tagname(element.tag);
    }
    GumboStringPiece name = element.original_tag;
    gumbo_tag_from_original_text(&name);
    std::string out(name.data ? name.data : "", name.data ? name.length : 0);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
}

void appendEscaped(std::string& out, const char* text, bool inAttribute)
{
    for (const char* p = text; *p; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c == '&') out += "&amp;";
        else if (c == 0xC2 && static_cast<unsigned char>(p[1]) == 0xA0) {
            out += "&nbsp;";
            ++p;
        } else if (inAttribute && c == '"') out += "&quot;";
        else if (!inAttribute && c == '<') out += "&lt;";
        else if (!inAttribute && c == '>') out += "&gt;";
        else out += char(c);
    }
}

void appendOpeningTag(std::string& out, const GumboElement& element, const std::string& name)
{
    out += '<';
    out += name;
    for (unsigned i = 0; i < element.attributes.length; ++i) {
        const auto* attribute = static_cast<const GumboAttribute*>(element.attributes.data[i]);
        out += ' ';
        switch (attribute->attr_namespace) {
        case GUMBO_ATTR_NAMESPACE_XLINK: out += "xlink:"; break;
        case GUMBO_ATTR_NAMESPACE_XML: out += "xml:"; break;
        case GUMBO_ATTR_NAMESPACE_XMLNS: if (std::string_view(attribute->name) != "xmlns") out += "xmlns:"; break;
        default: break;
        }
        out += attribute->name;
        out += "=\"";
        appendEscaped(out, attribute->value, true);
        out += '"';
    }
    out += '>';
}

// Browsers stop nesting elements at a fixed depth and put deeper ones beside the last: past it, the
// tree construction's scope searches would walk the whole stack for every tag, and a page of a
// hundred thousand nested <div> would take minutes. The parser has no such limit of its own, so
// the start tags that would nest deeper are left out beforehand, found by a light walk over the
// tags that follows the closings a browser infers (a cell closes the previous cell, a row the
// previous row, and so on).
constexpr std::size_t kMaxDepth = 512;

bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool isVoidName(std::string_view name)
{
    static const std::array<std::string_view, 18> names{"area", "base", "basefont", "bgsound", "br", "col",
                                                        "embed", "frame", "hr", "img", "input", "keygen",
                                                        "link", "meta", "param", "source", "track", "wbr"};
    for (std::string_view n : names)
        if (n == name) return true;
    return false;
}

// Elements whose content is text up to their own end tag.
bool isRawTextName(std::string_view name)
{
    return name == "script" || name == "style" || name == "textarea" || name == "title" || name == "xmp"
        || name == "iframe" || name == "noembed" || name == "noframes" || name == "plaintext";
}

// The open elements a start tag closes first: none, or any of these names, the nearest first.
std::array<std::string_view, 3> closedBy(std::string_view name)
{
    if (name == "td" || name == "th") return {"td", "th", ""};
    if (name == "tr") return {"tr", "", ""};
    if (name == "tbody" || name == "thead" || name == "tfoot") return {"tbody", "thead", "tfoot"};
    if (name == "li") return {"li", "", ""};
    if (name == "dt" || name == "dd") return {"dt", "dd", ""};
    if (name == "option") return {"option", "", ""};
    if (name == "p" || name == "div" || name == "ul" || name == "ol" || name == "table" || name == "h1" || name == "h2"
        || name == "h3" || name == "section" || name == "article" || name == "form")
        return {"p", "", ""};
    return {};
}

class DepthGuard {
public:
    // Whether the start tag `name` may open an element.
    bool open(const std::string& name)
    {
        for (std::string_view closed : closedBy(name))
            if (!closed.empty() && m_counts[std::string(closed)] > 0) {
                closeThrough(closed);
                break;
            }
        if (m_stack.size() >= kMaxDepth) return false;
        m_stack.push_back(name);
        ++m_counts[name];
        return true;
    }
    void close(const std::string& name)
    {
        const auto found = m_counts.find(name);
        if (found != m_counts.end() && found->second > 0) closeThrough(name);
    }

private:
    void closeThrough(std::string_view name)
    {
        while (!m_stack.empty()) {
            const std::string top = std::move(m_stack.back());
            m_stack.pop_back();
            --m_counts[top];
            if (top == name) return;
        }
    }
    std::vector<std::string> m_stack;
    std::unordered_map<std::string, int> m_counts;
};

// The page without the start tags that would nest past kMaxDepth; the page itself when there are
// none, which is every real page.
QByteArray withBoundedDepth(const QByteArray& page)
{
    const char* text = page.constData();
    const qsizetype size = page.size();
    DepthGuard guard;
    QByteArray out;
    qsizetype copied = 0;
    qsizetype pos = 0;
    const auto lowered = [&](qsizetype from) {
        std::string name;
        qsizetype i = from;
        while (i < size && (isAsciiLetter(text[i]) || (text[i] >= '0' && text[i] <= '9') || text[i] == '-' || text[i] == ':')) {
            const char c = text[i++];
            name += c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
        }
        return std::pair{name, i};
    };
    // Past the ">" of a tag, quoted values skipped.
    const auto tagEnd = [&](qsizetype from) {
        char quote = 0;
        for (qsizetype i = from; i < size; ++i) {
            const char c = text[i];
            if (quote) {
                if (c == quote) quote = 0;
            } else if (c == '"' || c == '\'') quote = c;
            else if (c == '>') return i + 1;
        }
        return size;
    };
    while (true) {
        const char* lt = static_cast<const char*>(std::memchr(text + pos, '<', size_t(size - pos)));
        if (!lt) break;
        const qsizetype start = lt - text;
        pos = start + 1;
        if (QByteArrayView(text + start, std::min<qsizetype>(4, size - start)) == QByteArrayView("<!--")) {
            const qsizetype end = page.indexOf("-->", start + 4);
            pos = end < 0 ? size : end + 3;
        } else if (pos < size && text[pos] == '/' && pos + 1 < size && isAsciiLetter(text[pos + 1])) {
            const auto [name, after] = lowered(pos + 1);
            guard.close(name);
            pos = tagEnd(after);
        } else if (pos < size && isAsciiLetter(text[pos])) {
            const auto [name, after] = lowered(pos);
            const qsizetype end = tagEnd(after);
            pos = end;
            if (isVoidName(name)) continue;
            if (!guard.open(name)) {
                if (out.isNull()) out.reserve(size);
                out.append(text + copied, start - copied);
                copied = end;
                continue;
            }
            if (isRawTextName(name)) {
                guard.close(name);
                // Its text runs to its own end tag, whatever it holds.
                qsizetype i = pos;
                while (true) {
                    i = page.indexOf("</", i);
                    if (i < 0) break;
                    if (lowered(i + 2).first == name) break;
                    i += 2;
                }
                pos = i < 0 ? size : i;
            }
        }
    }
    if (out.isNull()) return page;
    out.append(text + copied, size - copied);
    return out;
}

const GumboVector& childrenOf(const GumboNode* node)
{
    return node->type == GUMBO_NODE_DOCUMENT ? node->v.document.children : node->v.element.children;
}

// Written with a stack of its own: the depth of a hostile page is not bounded.
std::string serialised(const GumboNode* document)
{
    struct Frame {
        const GumboNode* node;
        unsigned next;
        std::string closing;
    };
    std::string out;
    std::vector<Frame> stack;
    stack.push_back({document, 0, {}});
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const GumboVector& children = childrenOf(frame.node);
        if (frame.next >= children.length) {
            out += frame.closing;
            stack.pop_back();
            continue;
        }
        const GumboNode* parent = frame.node;
        const auto* child = static_cast<const GumboNode*>(children.data[frame.next++]);
        if (isDropped(child)) {
            out += ' ';
            continue;
        }
        switch (child->type) {
        case GUMBO_NODE_TEXT:
        case GUMBO_NODE_WHITESPACE:
        case GUMBO_NODE_CDATA:
            if (holdsRawText(parent)) out += child->v.text.text;
            else appendEscaped(out, child->v.text.text, false);
            break;
        case GUMBO_NODE_ELEMENT:
        case GUMBO_NODE_TEMPLATE: {
            const GumboElement& element = child->v.element;
            const std::string name = tagName(element);
            appendOpeningTag(out, element, name);
            if (element.tag_namespace == GUMBO_NAMESPACE_HTML && isVoid(element.tag)) break;
            stack.push_back({child, 0, "</" + name + ">"});
            break;
        }
        default:
            break;
        }
    }
    return out;
}

} // namespace

QString documentHTML(QStringView html)
{
    const QByteArray utf8 = withBoundedDepth(html.toUtf8());
    Arena arena;
    GumboOptions options = kGumboDefaultOptions;
    options.allocator = &Arena::allocate;
    options.deallocator = &Arena::release;
    options.userdata = &arena;
    // Parse errors are not wanted, only the document; keeping none spares their memory.
    options.max_errors = 0;
    const GumboOutput* output = gumbo_parse_with_options(&options, utf8.constData(), size_t(utf8.size()));
    std::string doctype;
    const GumboDocument& document = output->document->v.document;
    if (document.has_doctype) doctype = std::string("<!DOCTYPE ") + document.name + ">";
    const std::string body = serialised(output->document);
    return QString::fromUtf8(doctype) + QString::fromUtf8(body);
    // The arena frees the tree.
}

} // namespace tavrin::WebHtml
