// Runs the request parser's fuzz entry over seed files (a build without libFuzzer).
#include <QByteArray>
#include <QDirIterator>
#include <QFile>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv)
{
    int inputs = 0;
    for (int i = 1; i < argc; ++i) {
        QDirIterator it(QString::fromLocal8Bit(argv[i]), QDir::Files);
        while (it.hasNext()) {
            QFile file(it.next());
            if (!file.open(QIODevice::ReadOnly))
                return 1;
            const QByteArray input = file.readAll();
            // Every seed once per piece size class, chosen by the first byte.
            for (int step : {0, 1, 5, 63}) {
                QByteArray variant = input;
                variant.prepend(char(step));
                LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(variant.constData()), size_t(variant.size()));
                ++inputs;
            }
        }
    }
    std::printf("%d inputs run\n", inputs);
    return inputs > 0 ? 0 : 1;
}
