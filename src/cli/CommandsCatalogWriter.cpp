// Build tool: loads the commands module given as argument and writes, as C++ on standard output,
// the name, usage and summary of each command it registers, so that tavrin-cli lists them and
// answers their --help without loading the module.

#include "cli/Cli.h"

#include <QCoreApplication>
#include <QLibrary>

#include <cstdio>

namespace {

// A C string literal of the UTF-8 bytes; octal escapes, which never swallow the next character.
QByteArray literal(const QString& text)
{
    QByteArray out("\"");
    for (const char c : text.toUtf8()) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f && c != '"' && c != '\\' && c != '?') {
            out.append(c);
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\%03o", byte);
            out.append(escaped);
        }
    }
    return out + '"';
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s MODULE\n", argv[0]);
        return 2;
    }
    const qsizetype own = tavrin::cli::commands().size();
    QLibrary module(QString::fromLocal8Bit(argv[1]));
    if (!module.load()) {
        std::fprintf(stderr, "%s\n", qPrintable(module.errorString()));
        return 1;
    }
    QByteArray out("// Written at build time from the commands module's registrations.\n#include \"cli/Cli.h\"\n\n"
                   "namespace tavrin::cli {\n\nnamespace {\nconst ModuleCommand kCommands[] = {\n");
    const QList<tavrin::cli::Command>& all = tavrin::cli::commands();
    for (qsizetype i = own; i < all.size(); ++i)
        out += "    {" + literal(all[i].name) + ", " + literal(all[i].usage) + ", " + literal(all[i].summary) + "},\n";
    out += "};\n} // namespace\n\nModuleCommands moduleCommands() { return {std::begin(kCommands), std::end(kCommands)}; }\n\n"
           "} // namespace tavrin::cli\n";
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    return 0;
}
