// Force-included into every phone source in the phone-only build (ZELVIK_PHONE_ONLY): the phone has
// Qt 5.12, the build machine a newer Qt 5. Names that only newer Qt has are poisoned, so any use of
// one after this header fails to compile. The Qt headers that declare them come first: poisoning
// only touches the text that follows. Names shared with 5.12 API (Qt::endl, Qt::SkipEmptyParts,
// the sockets' errorOccurred, QWheelEvent::position, ...) and macros (QML_ELEMENT) cannot be
// poisoned: cmake/qt512/check-qt512 looks for those. Each Qt module's part is there only when the
// source's target uses that module (QT_<MODULE>_LIB).
#ifndef ZELVIK_QT512GUARD_H
#define ZELVIK_QT512GUARD_H
#ifdef __cplusplus

#include <QtCore/qglobal.h>
#include <QtCore/qbytearray.h>
#include <QtCore/qcalendar.h>
#include <QtCore/qdatetime.h>
#include <QtCore/qfile.h>
#include <QtCore/qfileinfo.h>
#include <QtCore/qlist.h>
#include <QtCore/qmutex.h>
#include <QtCore/qprocess.h>
#include <QtCore/qqueue.h>
#include <QtCore/qstring.h>
#include <QtCore/qvector.h>
#ifdef QT_GUI_LIB
#include <QtGui/qcolorspace.h>
#include <QtGui/qcolortransform.h>
#include <QtGui/qguiapplication.h>
#include <QtGui/qevent.h>
#include <QtGui/qimage.h>
#include <QtGui/qimagereader.h>
#include <QtGui/qimagewriter.h>
#include <QtGui/qscreen.h>
#include <QtGui/qwindow.h>
#endif
#ifdef QT_NETWORK_LIB
#include <QtNetwork/qnetworkaccessmanager.h>
#include <QtNetwork/qnetworkrequest.h>
#include <QtNetwork/qocspresponse.h>
#include <QtNetwork/qsslconfiguration.h>
#include <QtNetwork/qsslsocket.h>
#endif
#ifdef QT_QML_LIB
#include <QtQml/qjsengine.h>
#include <QtQml/qqml.h>
#include <QtQml/qqmlapplicationengine.h>
#include <QtQml/qqmlcomponent.h>
#include <QtQml/qqmlincubator.h>
#endif
#ifdef QT_QUICK_LIB
#include <QtQuick/qquickitem.h>
#include <QtQuick/qquickitemgrabresult.h>
#include <QtQuick/qquickpainteditem.h>
#include <QtQuick/qquicktextdocument.h>
#include <QtQuick/qquickview.h>
#endif

// The phone's API is 5.12's, deprecated or not: none of it may be compiled out.
#if QT_DISABLE_DEPRECATED_BEFORE > 0x050C00
#error "QT_DISABLE_DEPRECATED_BEFORE past 5.12 removes API the phone programs use"
#endif

// QtCore: 5.13 swapItemsAt; 5.14 QRecursiveMutex, QCalendar, QDate::startOfDay/endOfDay;
// 5.15 QByteArray::fromBase64Encoding, QProcess::splitCommand, QFile::moveToTrash,
// QString::isValidUtf16, QFileInfo::isJunction.
#pragma GCC poison swapItemsAt QRecursiveMutex QCalendar startOfDay endOfDay
#pragma GCC poison fromBase64Encoding FromBase64Result splitCommand moveToTrash isValidUtf16 isJunction
#ifdef QT_GUI_LIB
// QtGui: 5.13 Format_Grayscale16; 5.14 Format_BGR888, color spaces, QWheelEvent::globalPosition,
// high-DPI rounding policy; 5.15 QScreen::virtualSiblingAt, QWindow::startSystemMove/Resize.
#pragma GCC poison Format_Grayscale16 Format_BGR888 QColorSpace QColorTransform applyColorTransform
#pragma GCC poison globalPosition HighDpiScaleFactorRoundingPolicy setHighDpiScaleFactorRoundingPolicy
#pragma GCC poison virtualSiblingAt startSystemMove startSystemResize
#endif
#ifdef QT_NETWORK_LIB
// QtNetwork: 5.13 OCSP stapling and backend options; 5.15 transfer timeouts, QSslSocket's
// sslHandshakeErrors and session tickets, QSslConfiguration::addCaCertificate(s).
#pragma GCC poison QOcspResponse ocspResponses setOcspStaplingEnabled ocspStaplingEnabled
#pragma GCC poison setBackendConfigurationOption setTransferTimeout transferTimeout
#pragma GCC poison sslHandshakeErrors newSessionTicketReceived addCaCertificate addCaCertificates
#endif
#ifdef QT_QML_LIB
// QtQml/QtQuick: 5.14 singleton instances, anonymous types, initial properties;
// 5.15 QJSEngine::setUiLanguage.
#pragma GCC poison qmlRegisterSingletonInstance qmlRegisterAnonymousType setInitialProperties
#pragma GCC poison createWithInitialProperties setUiLanguage
#endif

#endif
#endif
