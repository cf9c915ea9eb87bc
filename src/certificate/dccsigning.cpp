#include "dccsigning.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSaveFile>

// NSS names a member "slots", which Qt's headers make a word of their own.
#pragma push_macro("slots")
#undef slots
#include <cert.h>
#include <keyhi.h>
#include <nss.h>
#include <pk11pub.h>

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/valid.h>
#include <xmlsec/keysmngr.h>
#include <xmlsec/nss/app.h>
#include <xmlsec/nss/crypto.h>
#include <xmlsec/nss/pkikeys.h>
#include <xmlsec/nss/x509.h>
#include <xmlsec/templates.h>
#include <xmlsec/xmldsig.h>
#include <xmlsec/xmlsec.h>
#include <xmlsec/xmltree.h>

// After xmlsec.h, which gives it its types.
#include <xmlsec/errors.h>
#pragma pop_macro("slots")

#include <memory>

namespace quarvet::certificate {
namespace {

const char* const dccNamespace = "https://ptb.de/dcc";
const char* const xadesNamespace = "http://uri.etsi.org/01903/v1.3.2#";
const char* const signatureId = "quarvet-signature";
const char* const propertiesId = "quarvet-signed-properties";
const char* const signedPropertiesType = "http://uri.etsi.org/01903#SignedProperties";

const xmlChar* xml(const char* text)
{
    return reinterpret_cast<const xmlChar*>(text);
}

void silently(void*, const char*, ...) {}

// xmlsec and its NSS engine, set up once; NSS itself is the database opened for signing.
QString readyXmlSec()
{
    static const QString fault = [] {
        xmlInitParser();
        xmlSetGenericErrorFunc(nullptr, silently);
        if (xmlSecInit() < 0)
            return QStringLiteral("the XML security library could not be started");
        if (xmlSecCheckVersion() != 1)
            return QStringLiteral("the XML security library is not the version built against");
        // Each failure is said once, in the program's words, not as the library's trace.
        xmlSecErrorsDefaultCallbackEnableOutput(0);
        if (xmlSecNssInit() < 0)
            return QStringLiteral("the XML security library's NSS engine could not be started");
        return QString();
    }();
    return fault;
}

struct CertificateFree {
    void operator()(CERTCertificate* certificate) const { CERT_DestroyCertificate(certificate); }
};
struct DocumentFree {
    void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
};
struct KeyFree {
    void operator()(xmlSecKey* key) const { xmlSecKeyDestroy(key); }
};
struct ContextFree {
    void operator()(xmlSecDSigCtx* context) const { xmlSecDSigCtxDestroy(context); }
};
using Certificate = std::unique_ptr<CERTCertificate, CertificateFree>;

// The key of `certificate` as xmlsec signs with it, its certificate beside it for KeyInfo;
// the signature method it takes in `method`.
std::unique_ptr<xmlSecKey, KeyFree> keyOf(CERTCertificate* certificate, xmlSecTransformId& method,
                                          QString& fault)
{
    SECKEYPrivateKey* privateKey = PK11_FindKeyByAnyCert(certificate, nullptr);
    SECKEYPublicKey* publicKey = CERT_ExtractPublicKey(certificate);
    if (!privateKey || !publicKey) {
        fault = QStringLiteral("its private key cannot be used");
        SECKEY_DestroyPrivateKey(privateKey);
        SECKEY_DestroyPublicKey(publicKey);
        return nullptr;
    }
    const KeyType type = SECKEY_GetPublicKeyType(publicKey);
    method = type == rsaKey  ? xmlSecNssTransformRsaSha256Id
             : type == ecKey ? xmlSecNssTransformEcdsaSha256Id
                             : nullptr;
    std::unique_ptr<xmlSecKey, KeyFree> key(xmlSecKeyCreate());
    xmlSecKeyDataPtr value = xmlSecNssPKIAdoptKey(privateKey, publicKey);
    if (!method || !key || !value || xmlSecKeySetValue(key.get(), value) < 0) {
        fault = method ? QStringLiteral("its key cannot be used to sign XML")
                       : QStringLiteral("its key is neither RSA nor ECDSA");
        return nullptr;
    }
    xmlSecKeyDataPtr x509 = xmlSecKeyEnsureData(key.get(), xmlSecNssKeyDataX509Id);
    CERTCertificate* first = CERT_DupCertificate(certificate);
    CERTCertificate* second = CERT_DupCertificate(certificate);
    if (!x509 || xmlSecNssKeyDataX509AdoptKeyCert(x509, first) < 0 ||
        xmlSecNssKeyDataX509AdoptCert(x509, second) < 0) {
        fault = QStringLiteral("its certificate cannot be put beside the signature");
        return nullptr;
    }
    return key;
}

xmlNode* child(xmlNode* parent, xmlNs* space, const char* name, const QByteArray& text = {})
{
    return xmlNewChild(parent, space, xml(name), text.isEmpty() ? nullptr : xml(text.constData()));
}

// The XAdES properties the signature covers: when it was signed, and with which certificate
// (its SHA-256), so that a reader cannot be shown another certificate of the same key.
void qualifyingProperties(xmlDoc* document, xmlNode* object, const CERTCertificate* certificate,
                          const QDateTime& signedUtc)
{
    xmlNode* properties = xmlNewChild(object, nullptr, xml("QualifyingProperties"), nullptr);
    xmlNs* xades = xmlNewNs(properties, xml(xadesNamespace), xml("xades"));
    xmlSetNs(properties, xades);
    xmlSetProp(properties, xml("Target"), xml(QByteArray("#") + signatureId));
    xmlNode* signedProperties = child(properties, xades, "SignedProperties");
    xmlAttr* id = xmlSetProp(signedProperties, xml("Id"), xml(propertiesId));
    xmlAddID(nullptr, document, xml(propertiesId), id);
    xmlNode* signature = child(signedProperties, xades, "SignedSignatureProperties");
    child(signature, xades, "SigningTime", signedUtc.toUTC().toString(Qt::ISODate).toUtf8());
    xmlNode* digest = child(child(child(signature, xades, "SigningCertificateV2"), xades, "Cert"),
                            xades, "CertDigest");
    xmlNs* dsig = xmlSearchNsByHref(document, object, xmlSecDSigNs);
    xmlSetProp(child(digest, dsig, "DigestMethod"), xml("Algorithm"),
               xml("http://www.w3.org/2001/04/xmlenc#sha256"));
    const QByteArray der(reinterpret_cast<const char*>(certificate->derCert.data),
                         qsizetype(certificate->derCert.len));
    child(digest, dsig, "DigestValue",
          QCryptographicHash::hash(der, QCryptographicHash::Sha256).toBase64());
}

// The signature's template in the DCC's comment, the one place its schema leaves open: the
// whole document but the signature, and the signed properties, each by SHA-256.
xmlNode* signatureTemplate(xmlDoc* document, xmlSecTransformId method)
{
    xmlNode* root = xmlDocGetRootElement(document);
    xmlNs* dcc = root ? xmlSearchNsByHref(document, root, xml(dccNamespace)) : nullptr;
    if (!dcc)
        return nullptr;
    xmlNode* comment = child(root, dcc, "comment");
    xmlNode* signature = xmlSecTmplSignatureCreateNsPref(document, xmlSecTransformExclC14NId,
                                                         method, xml(signatureId), xml("ds"));
    xmlAddChild(comment, signature);
    xmlNode* whole = xmlSecTmplSignatureAddReference(signature, xmlSecNssTransformSha256Id, nullptr,
                                                     xml(""), nullptr);
    xmlNode* properties = xmlSecTmplSignatureAddReference(
        signature, xmlSecNssTransformSha256Id, nullptr, xml(QByteArray("#") + propertiesId),
        xml(signedPropertiesType));
    xmlNode* keyInfo = xmlSecTmplSignatureEnsureKeyInfo(signature, nullptr);
    xmlNode* x509 = keyInfo ? xmlSecTmplKeyInfoAddX509Data(keyInfo) : nullptr;
    if (!whole || !properties || !x509 ||
        !xmlSecTmplReferenceAddTransform(whole, xmlSecTransformEnvelopedId) ||
        !xmlSecTmplReferenceAddTransform(whole, xmlSecTransformExclC14NId) ||
        !xmlSecTmplReferenceAddTransform(properties, xmlSecTransformExclC14NId) ||
        !xmlSecTmplX509DataAddCertificate(x509))
        return nullptr;
    return signature;
}

// The signed document, or why not.
QString signedDocument(const QByteArray& bytes, CERTCertificate* certificate,
                       const QDateTime& signedUtc, QByteArray& signedBytes)
{
    std::unique_ptr<xmlDoc, DocumentFree> document(
        xmlReadMemory(bytes.constData(), int(bytes.size()), "dcc.xml", nullptr, XML_PARSE_NONET));
    if (!document)
        return QStringLiteral("the DCC written could not be read back to sign");
    QString fault;
    xmlSecTransformId method = nullptr;
    auto key = keyOf(certificate, method, fault);
    if (!key)
        return fault;
    xmlNode* signature = signatureTemplate(document.get(), method);
    xmlNode* object =
        signature ? xmlSecTmplSignatureAddObject(signature, nullptr, nullptr, nullptr) : nullptr;
    if (!object)
        return QStringLiteral("the signature's place could not be made");
    qualifyingProperties(document.get(), object, certificate, signedUtc);
    std::unique_ptr<xmlSecDSigCtx, ContextFree> context(xmlSecDSigCtxCreate(nullptr));
    if (!context)
        return QStringLiteral("the XML security library could not sign");
    context->signKey = key.release();
    if (xmlSecDSigCtxSign(context.get(), signature) < 0)
        return QStringLiteral("the XML security library could not sign it");
    xmlChar* text = nullptr;
    int size = 0;
    xmlDocDumpMemoryEnc(document.get(), &text, &size, "UTF-8");
    if (!text)
        return QStringLiteral("the signed DCC could not be written out");
    signedBytes = QByteArray(reinterpret_cast<const char*>(text), size);
    xmlFree(text);
    return {};
}

struct ManagerFree {
    void operator()(xmlSecKeysMngr* manager) const { xmlSecKeysMngrDestroy(manager); }
};

// Whether one of the signature's references, found whole, is the whole document (the
// signature taken out) or, with `type`, the XAdES signed properties.
bool signsReference(xmlSecDSigCtx* context, const char* type)
{
    for (xmlSecSize n = 0; n < xmlSecPtrListGetSize(&context->signedInfoReferences); ++n) {
        const auto* reference = static_cast<xmlSecDSigReferenceCtx*>(
            xmlSecPtrListGetItem(&context->signedInfoReferences, n));
        if (!reference || reference->status != xmlSecDSigStatusSucceeded || !reference->uri)
            continue;
        if (type ? reference->type && xmlStrEqual(reference->type, xml(type))
                 : reference->uri[0] == '\0')
            return true;
    }
    return false;
}

// The first element `name` of `space` under `node`, depth first.
xmlNode* elementUnder(xmlNode* node, const xmlChar* name, const xmlChar* space)
{
    for (xmlNode* child = node ? node->children : nullptr; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE)
            continue;
        if (xmlSecCheckNodeName(child, name, space))
            return child;
        if (xmlNode* found = elementUnder(child, name, space))
            return found;
    }
    return nullptr;
}

// Whether the signed properties under `signature` name `certificate` by its SHA-256.
bool namesCertificate(xmlNode* signature, const CERTCertificate* certificate)
{
    xmlNode* digest = elementUnder(elementUnder(signature, xml("CertDigest"), xml(xadesNamespace)),
                                   xml("DigestValue"), xmlSecDSigNs);
    xmlChar* content = digest ? xmlNodeGetContent(digest) : nullptr;
    const QByteArray named = QByteArray(content ? reinterpret_cast<const char*>(content) : "")
                                 .simplified()
                                 .replace(' ', "");
    xmlFree(content);
    const QByteArray der(reinterpret_cast<const char*>(certificate->derCert.data),
                         qsizetype(certificate->derCert.len));
    return !named.isEmpty() &&
           named == QCryptographicHash::hash(der, QCryptographicHash::Sha256).toBase64();
}

// The signature at `node` checked with the certificate it carries; its signer's subject.
void verifySignature(xmlNode* node, const QByteArray& laboratorys, DccSignature& found)
{
    std::unique_ptr<xmlSecKeysMngr, ManagerFree> manager(xmlSecKeysMngrCreate());
    if (!manager || xmlSecNssAppDefaultKeysMngrInit(manager.get()) < 0) {
        found.fault = QStringLiteral("the XML security library could not check it");
        return;
    }
    std::unique_ptr<xmlSecDSigCtx, ContextFree> context(xmlSecDSigCtxCreate(manager.get()));
    if (!context) {
        found.fault = QStringLiteral("the XML security library could not check it");
        return;
    }
    // Whom the laboratory's certificate is trusted by is the reader's to say; this says
    // whether the document is as its key signed it.
    context->keyInfoReadCtx.flags |= XMLSEC_KEYINFO_FLAGS_X509DATA_DONT_VERIFY_CERTS;
    found.valid = xmlSecDSigCtxVerify(context.get(), node) >= 0 &&
                  context->status == xmlSecDSigStatusSucceeded;
    found.wholeDocument = found.valid && signsReference(context.get(), nullptr);
    xmlSecKeyDataPtr x509 =
        context->signKey ? xmlSecKeyGetData(context->signKey, xmlSecNssKeyDataX509Id) : nullptr;
    CERTCertificate* certificate = x509 ? xmlSecNssKeyDataX509GetKeyCert(x509) : nullptr;
    if (!certificate)
        return;
    found.signer = QString::fromUtf8(certificate->subjectName);
    found.certificateNamed = found.valid && signsReference(context.get(), signedPropertiesType) &&
                             namesCertificate(node, certificate);
    if (!laboratorys.isEmpty())
        found.laboratorys = QByteArray(reinterpret_cast<const char*>(certificate->derCert.data),
                                       qsizetype(certificate->derCert.len)) == laboratorys;
}

} // namespace

DccSignature checkDccSignature(const QByteArray& bytes, const QByteArray& laboratorys)
{
    DccSignature found;
    if (const QString fault = readyXmlSec(); !fault.isEmpty())
        return found.fault = fault, found;
    if (!NSS_IsInitialized() && NSS_NoDB_Init(nullptr) != SECSuccess)
        return found.fault = QStringLiteral("NSS could not be started"), found;
    std::unique_ptr<xmlDoc, DocumentFree> document(
        xmlReadMemory(bytes.constData(), int(bytes.size()), "dcc.xml", nullptr, XML_PARSE_NONET));
    xmlNode* root = document ? xmlDocGetRootElement(document.get()) : nullptr;
    if (!root)
        return found.fault = QStringLiteral("the document could not be read"), found;
    static const xmlChar* ids[] = {xml("Id"), nullptr};
    xmlSecAddIDs(document.get(), root, ids);
    QList<xmlNode*> signatures;
    for (xmlNode* node = root; node;) {
        if (node->type == XML_ELEMENT_NODE &&
            xmlSecCheckNodeName(node, xmlSecNodeSignature, xmlSecDSigNs))
            signatures << node;
        // Depth first, into signatures too: one wrapped in another counts.
        if (node->children)
            node = node->children;
        else {
            while (node && !node->next && node != root)
                node = node->parent;
            node = node && node != root ? node->next : nullptr;
        }
    }
    found.present = !signatures.isEmpty();
    found.count = int(signatures.size());
    if (found.count == 1)
        verifySignature(signatures.first(), laboratorys, found);
    return found;
}

QString signDcc(const QString& path, const SigningKey& key, const QDateTime& signedUtc)
{
    if (const QString fault = readyXmlSec(); !fault.isEmpty())
        return fault;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString());
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString());
    file.close();
    const Certificate certificate(
        PK11_FindCertFromNickname(key.nickname.toUtf8().constData(), nullptr));
    if (!certificate)
        return QStringLiteral("the signing database holds no certificate \"%1\"").arg(key.nickname);
    QByteArray signedBytes;
    if (const QString fault = signedDocument(bytes, certificate.get(), signedUtc, signedBytes);
        !fault.isEmpty())
        return fault;
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(signedBytes) != signedBytes.size() ||
        !out.commit())
        return QStringLiteral("%1 cannot be written: %2").arg(path, out.errorString());
    return {};
}

} // namespace quarvet::certificate
