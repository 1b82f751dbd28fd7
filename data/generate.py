#!/usr/bin/env python3
"""Writes the data the program carries: the stand-in firmware image, the six menu language tables
and the two bitmap fonts; and a demo firmware catalogue for a mixed fleet.

The outputs are committed; run `python3 data/generate.py` after changing this script and commit the
result. Everything is derived from fixed seeds and tables, so every run writes the same bytes. The
script checks what it wrote and exits non-zero when any file breaks a rule the program relies on.
"""

import hashlib
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))

# ---------------------------------------------------------------------------------------------
# Firmware image
# ---------------------------------------------------------------------------------------------

FIRMWARE_NAME = "M307_200_A7UG.bin"
FIRMWARE_SIZE = 174614
BOOT_SIZE = 5120             # the scanner keeps its own bootloader; the updater skips this area
HEADER = b"$$RDQ" + b"v" + b"00" + bytes(4) + bytes(2) + bytes(2)   # length and CRC filled at run time
BANNER = b"RDQ200 firmware 3.07 A7UG"


def lcg_bytes(seed, count):
    """Numerical Recipes LCG, top byte of each step: cheap, and looks like machine code at a glance."""
    out = bytearray(count)
    state = seed & 0xFFFFFFFF
    for i in range(count):
        state = (state * 1664525 + 1013904223) & 0xFFFFFFFF
        out[i] = state >> 24
    return out


def xorshift_bytes(seed, count):
    out = bytearray()
    x = seed & 0xFFFFFFFF
    while len(out) < count:
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        out += struct.pack("<I", x)
    return out[:count]


def bootloader_area():
    base = 0x08000000
    vectors = [0x20004000, base + 0x1C1]            # initial stack pointer, reset handler (Thumb)
    for slot in range(2, 48):
        reserved = slot in (7, 8, 9, 10, 13)
        vectors.append(0 if reserved else base + 0x201 + 4 * (slot % 6))
    area = bytearray(struct.pack("<48I", *vectors))
    area += lcg_bytes(0x5EED0B00, BOOT_SIZE - len(area))
    # A banner the service technicians look for in dumps, then erased flash up to the header.
    banner = b"RDQ boot 1.02\x00"
    area[0x0E00:0x0E00 + len(banner)] = banner
    area[BOOT_SIZE - 256:BOOT_SIZE] = b"\xFF" * 256
    return bytes(area)


def firmware_body(size):
    body = bytearray(xorshift_bytes(0x2545F491, size))
    strings = [BANNER, b"Bluetooth stack ready", b"Scan engine ok", b"Battery low",
               b"Memory full", b"Language table", b"Font load error"]
    # A string pool near the start, as a linker would place .rodata after the vectors, and the
    # banner again near the end where the running firmware reports its version from.
    pool = b"".join(s + b"\x00" for s in strings)
    body[0x200:0x200 + len(pool)] = pool
    tail = size - 0x400
    body[tail:tail + len(BANNER) + 1] = BANNER + b"\x00"
    return bytes(body)


def firmware_image(banner=BANNER, seed=0x2545F491):
    image = bootloader_area() + HEADER
    body = bytearray(firmware_body(FIRMWARE_SIZE - len(image)))
    if seed != 0x2545F491:
        body = bytearray(xorshift_bytes(seed, len(body)))
    tail = len(body) - 0x400
    body[0x200:0x200 + len(banner) + 1] = banner + b"\x00"
    body[tail:tail + len(banner) + 1] = banner + b"\x00"
    return image + bytes(body)


# ---------------------------------------------------------------------------------------------
# The demo catalogue: one image per model, edition and variant of a mixed fleet, and their sums
# ---------------------------------------------------------------------------------------------

FRAMED_SIZE = 174614


def framed_container():
    """A framed-family UPDATE container: a directory of a loader, a firmware and an application record,
    then text that differs from block to block."""
    head = b"UPDATE\0\0\0\0\x03\0" + struct.pack("<3I", 0, 8, 16)
    head += bytes(1034 - len(head)) + b"L.010203F.xx0405A.yy0607"
    text = " ".join(str(n) for n in range(1, 100000)).encode("ascii")
    return head + text[:FRAMED_SIZE - len(head)]


def catalogue_images():
    return {
        "M307_200_A7UG.bin": firmware_image(),
        "M305_180JA7UG.bin": firmware_image(b"RDQ180 firmware 3.05 J A7UG", 0x1B873593),
        "M307_200_B1XX.bin": firmware_image(b"RDQ200 firmware 3.07 B1XX", 0x68E31DA4),
        "U500_500_B2WW.bin": framed_container(),
    }


# ---------------------------------------------------------------------------------------------
# Language tables
# ---------------------------------------------------------------------------------------------

ENTRY_COUNT = 636
FIELD = 13           # width of a menu line on the scanner display, in bytes
MIN_ENTRY, MAX_ENTRY = 2, 15
LANGUAGES = [        # file name, column in TABLE, encoding
    ("english", 1, "cp1252"), ("french", 2, "cp1252"), ("italian", 3, "cp1252"),
    ("spanish", 4, "cp1252"), ("korean", 5, "euc_kr"), ("japanese", 6, "shift_jis"),
]
# The Italian translator sent these two lines in UTF-8; scanners in the field display them as they
# are, so the tables keep them, and the program must cope with such bytes in a cp1252 table.
ITALIAN_UTF8_ENTRIES = (14, 15)

# Alignment: r = right (commands), c = centred (titles), l = left (labels), n = stored unpadded.
# Entries longer than the field are stored unpadded too (never beyond MAX_ENTRY bytes).
TABLE = """
r|Exit|Retour|Esci|Salir|종료|終了
r|Top Menu|Menu princ.|Menu princ.|Menú princ.|메인 메뉴|ﾒｲﾝﾒﾆｭｰ
r|Load Defaults|Param. Défaut|Predefiniti|Por defecto|기본값 설정|ﾃﾞﾌｫﾙﾄ
c|Settings|Réglages|Impostazioni|Ajustes|설정|設定
c|Bluetooth|Bluetooth|Bluetooth|Bluetooth|블루투스|Bluetooth
c|Beeper|Bip|Cicalino|Avisador|비퍼|ブザー
l|Volume|Volume|Volume|Volumen|음량|音量
c|Scan|Lecture|Scansione|Escanear|스캔|ｽｷｬﾝ
c|Data|Données|Dati|Datos|데이터|データ
l|Batch mode|Mode lot|Modo batch|Modo lote|배치 모드|バッチモード
c|Memory|Mémoire|Memoria|Memoria|메모리|メモリ
r|Clear memory|Effacer mém.|Cancella mem.|Borrar mem.|메모리 지우기|メモリ消去
l|Enable|Activer|Attiva|Activar|사용|有効
l|Disable|Désactiver|Disattiva|Desactivar|사용 안함|無効
l|Speed|Vitesse|Velocità|Velocidad|속도|速度
r|Yes|Oui|Sì|Sí|예|はい
r|No|Non|No|No|아니오|いいえ
c|Date/Time|Date/Heure|Data/Ora|Fecha/Hora|날짜/시간|日付/時刻
l|Date|Date|Data|Fecha|날짜|日付
l|Time|Heure|Ora|Hora|시간|時刻
c|Battery|Batterie|Batteria|Batería|배터리|バッテリー
c|Version|Version|Versione|Versión|버전|ﾊﾞｰｼﾞｮﾝ
r|No data !!!|Aucune donnée|Nessun dato!!|Sin datos !!!|데이터 없음!!|データなし!!!
r|Confirm ?|Confirmer ?|Confermare?|¿Confirmar?|확인?|確認?
n|OK|OK|OK|OK|OK|OK
r|Cancel|Annuler|Annulla|Cancelar|취소|ｷｬﾝｾﾙ
r|Save|Enregistrer|Salva|Guardar|저장|保存
c|Please wait|Patientez...|Attendere...|Espere...|기다리세요|お待ち下さい
c|Done|Terminé|Fatto|Hecho|완료|完了
c|Error|Erreur|Errore|Error|오류|エラー
l|Language|Langue|Lingua|Idioma|언어|言語
l|English|Anglais|Inglese|Inglés|영어|英語
l|French|Français|Francese|Francés|프랑스어|フランス語
l|Italian|Italien|Italiano|Italiano|이탈리아어|イタリア語
l|Spanish|Espagnol|Spagnolo|Español|스페인어|スペイン語
l|Korean|Coréen|Coreano|Coreano|한국어|韓国語
l|Japanese|Japonais|Giapponese|Japonés|일본어|日本語
c|Symbologies|Symbologies|Simbologie|Simbologías|바코드 종류|バーコード
l|Code 128|Code 128|Code 128|Code 128|Code 128|Code 128
l|GS1-128|GS1-128|GS1-128|GS1-128|GS1-128|GS1-128
l|EAN-13|EAN-13|EAN-13|EAN-13|EAN-13|JAN-13
l|EAN-8|EAN-8|EAN-8|EAN-8|EAN-8|JAN-8
l|UPC-A|UPC-A|UPC-A|UPC-A|UPC-A|UPC-A
l|UPC-E|UPC-E|UPC-E|UPC-E|UPC-E|UPC-E
l|Code 39|Code 39|Code 39|Code 39|Code 39|Code 39
l|Code 93|Code 93|Code 93|Code 93|Code 93|Code 93
l|Codabar|Codabar|Codabar|Codabar|Codabar|NW-7
l|Interl. 2of5|Entrel. 2/5|Interl. 2/5|Intercal. 2/5|Interl. 2of5|ITF
l|Matrix 2of5|Matrix 2/5|Matrix 2/5|Matrix 2/5|Matrix 2of5|Matrix 2of5
l|Code 11|Code 11|Code 11|Code 11|Code 11|Code 11
l|MSI Plessey|MSI Plessey|MSI Plessey|MSI Plessey|MSI Plessey|MSI Plessey
l|GS1 DataBar|GS1 DataBar|GS1 DataBar|GS1 DataBar|GS1 DataBar|GS1 DataBar
l|QR Code|QR Code|QR Code|Código QR|QR 코드|QRコード
l|Micro QR|Micro QR|Micro QR|Micro QR|Micro QR|ﾏｲｸﾛQR
l|Data Matrix|Data Matrix|Data Matrix|Data Matrix|Data Matrix|Data Matrix
l|PDF417|PDF417|PDF417|PDF417|PDF417|PDF417
l|Aztec|Aztec|Aztec|Aztec|Aztec|Aztec
l|MaxiCode|MaxiCode|MaxiCode|MaxiCode|MaxiCode|MaxiCode
l|ISBN|ISBN|ISBN|ISBN|ISBN|ISBN
l|ISSN|ISSN|ISSN|ISSN|ISSN|ISSN
c|Connection|Connexion|Connessione|Conexión|연결|接続
l|Pairing|Appairage|Abbinamento|Emparejar|페어링|ペアリング
r|Connect|Connecter|Connetti|Conectar|연결하기|接続する
r|Disconnect|Déconnecter|Disconnetti|Desconectar|연결 해제|切断
c|Connected|Connecté|Connesso|Conectado|연결됨|接続済み
c|Not connected|Non connecté|Non connesso|Sin conexión|연결 안됨|未接続
l|HID keyboard|Clavier HID|Tastiera HID|Teclado HID|HID 키보드|HIDｷｰﾎﾞｰﾄﾞ
l|Serial (SPP)|Série (SPP)|Seriale (SPP)|Serie (SPP)|시리얼 SPP|ｼﾘｱﾙ(SPP)
l|Device name|Nom appareil|Nome disp.|Nombre disp.|장치 이름|機器名
l|PIN code|Code PIN|Codice PIN|Código PIN|PIN 코드|PINｺｰﾄﾞ
l|Kbd layout|Clavier|Layout tast.|Teclado|키보드 배열|ｷｰﾎﾞｰﾄﾞ配列
l|Low|Bas|Basso|Bajo|낮음|小
l|Medium|Moyen|Medio|Medio|중간|中
l|High|Fort|Alto|Alto|높음|大
n|On|On|On|On|켜기|ON
n|Off|Off|Off|Off|끄기|OFF
l|Vibrator|Vibreur|Vibrazione|Vibración|진동|バイブ
c|Scan mode|Mode lecture|Modo scansione|Modo lectura|스캔 모드|ｽｷｬﾝﾓｰﾄﾞ
l|Trigger|Gâchette|Grilletto|Gatillo|트리거|トリガー
l|Continuous|Continu|Continuo|Continuo|연속|連続
l|Single|Simple|Singolo|Único|단일|単発
l|Auto-off|Arrêt auto|Spegn. auto|Apag. auto|자동 꺼짐|自動オフ
l|Timeout|Délai|Timeout|Tiempo máx.|시간 초과|ﾀｲﾑｱｳﾄ
l|Illumination|Éclairage|Illuminazione|Iluminación|조명|照明
l|Aimer|Viseur|Mirino|Mira|조준선|エイマー
l|Prefix|Préfixe|Prefisso|Prefijo|접두사|ﾌﾟﾚﾌｨｯｸｽ
l|Suffix|Suffixe|Suffisso|Sufijo|접미사|ｻﾌｨｯｸｽ
l|Terminator|Terminaison|Terminatore|Terminador|종단 문자|終端文字
l|Enter|Entrée|Invio|Intro|엔터|ｴﾝﾀｰ
l|Tab|Tab|Tab|Tab|탭|ﾀﾌﾞ
l|None|Aucun|Nessuno|Ninguno|없음|なし
l|Upper case|Majuscules|Maiuscole|Mayúsculas|대문자|大文字
l|Lower case|Minuscules|Minuscole|Minúsculas|소문자|小文字
l|Stored codes|Codes stockés|Codici salvati|Códigos guard.|저장된 코드|保存件数
r|Memory full|Mémoire pleine|Memoria piena|Memoria llena|메모리 가득|メモリ満杯
r|Send data|Envoyer donn.|Invia dati|Enviar datos|데이터 전송|データ送信
c|Data sent|Données env.|Dati inviati|Datos enviados|전송 완료|送信完了
r|Erase all ?|Tout effacer ?|Cancella tutto?|¿Borrar todo?|모두 지울까요?|全て消去?
c|Mem. cleared|Mémoire vidée|Mem. cancellata|Memoria borrada|메모리 삭제됨|消去しました
r|Battery low|Batterie faible|Batt. scarica|Batería baja|배터리 부족|電池残量低下
c|Charging|En charge|In carica|Cargando|충전 중|充電中
c|Charged|Chargée|Carica|Cargada|충전 완료|充電完了
c|Firmware|Firmware|Firmware|Firmware|펌웨어|ﾌｧｰﾑｳｪｱ
r|Update|Mise à jour|Aggiorna|Actualizar|업데이트|更新
l|Serial No.|N° série|N. serie|N.º serie|일련번호|製造番号
r|Restart|Redémarrer|Riavvia|Reiniciar|재시작|再起動
r|Power off|Éteindre|Spegni|Apagar|전원 끄기|電源オフ
c|Display|Affichage|Display|Pantalla|화면|表示
l|Contrast|Contraste|Contrasto|Contraste|명암|ｺﾝﾄﾗｽﾄ
l|Backlight|Rétroéclair.|Retroillum.|Retroilum.|백라이트|ﾊﾞｯｸﾗｲﾄ
l|Sleep|Veille|Standby|Reposo|절전|スリープ
l|Password|Mot de passe|Password|Contraseña|비밀번호|ﾊﾟｽﾜｰﾄﾞ
r|Bad password|MDP incorrect|Password errata|Clave errónea|비밀번호 오류|ﾊﾟｽﾜｰﾄﾞ誤り
c|Read error|Erreur lecture|Errore lettura|Error lectura|읽기 오류|読取エラー
c|Write error|Erreur écrit.|Errore scritt.|Error escrit.|쓰기 오류|書込エラー
c|Not paired|Non appairé|Non abbinato|Sin emparejar|페어링 안됨|未ペアリング
n|Connection lost|Liaison perdue|Conness. persa|Enlace perdido|연결 끊김|接続断
r|Try again|Réessayez|Riprova|Reintente|다시 시도|再試行
c|Unknown code|Code inconnu|Codice ignoto|Código desc.|미확인 코드|不明なコード
l|Check digit|Chiffre ctrl|Cifra contr.|Dígito ctrl.|체크 디지트|ﾁｪｯｸﾃﾞｼﾞｯﾄ
l|Min. length|Long. min.|Lungh. min.|Long. mín.|최소 길이|最小桁数
l|Max. length|Long. max.|Lungh. max.|Long. máx.|최대 길이|最大桁数
c|Scanning...|Lecture...|Scansione...|Escaneando...|스캔 중...|ｽｷｬﾝ中...
r|Sure ?|Sûr ?|Sicuro?|¿Seguro?|확실합니까?|よろしいですか
l|Monday|Lundi|Lunedì|Lunes|월요일|月曜日
l|Tuesday|Mardi|Martedì|Martes|화요일|火曜日
l|Wednesday|Mercredi|Mercoledì|Miércoles|수요일|水曜日
l|Thursday|Jeudi|Giovedì|Jueves|목요일|木曜日
l|Friday|Vendredi|Venerdì|Viernes|금요일|金曜日
l|Saturday|Samedi|Sabato|Sábado|토요일|土曜日
l|Sunday|Dimanche|Domenica|Domingo|일요일|日曜日
l|January|Janvier|Gennaio|Enero|1월|1月
l|February|Février|Febbraio|Febrero|2월|2月
l|March|Mars|Marzo|Marzo|3월|3月
l|April|Avril|Aprile|Abril|4월|4月
l|May|Mai|Maggio|Mayo|5월|5月
l|June|Juin|Giugno|Junio|6월|6月
l|July|Juillet|Luglio|Julio|7월|7月
l|August|Août|Agosto|Agosto|8월|8月
l|September|Septembre|Settembre|Septiembre|9월|9月
l|October|Octobre|Ottobre|Octubre|10월|10月
l|November|Novembre|Novembre|Noviembre|11월|11月
l|December|Décembre|Dicembre|Diciembre|12월|12月
c|Quantity|Quantité|Quantità|Cantidad|수량|数量
"""

# Numbered families; the firmware fills the rest of its 636 slots with option lines it shows on
# demand, so those stay systematic rather than invented menu words.
LEVEL_FAMILY = ("Level {}", "Niveau {}", "Livello {}", "Nivel {}", "레벨 {}", "レベル{}")
OPTION_FAMILY = ("Option {}", "Option {}", "Opzione {}", "Opción {}", "옵션 {}", "オプション{}")

# Texts the program and its tests look up by index; they must stay where they are.
EXACT_ENTRIES = {
    ("english", 0): b"         Exit",
    ("french", 0): b"       Retour",
    ("italian", 0): b"         Esci",
    ("spanish", 0): b"        Salir",
    ("french", 2): b"Param. D\xe9faut",
    ("english", 1): b"     Top Menu",
    ("english", 7): b"    Scan     ",
    ("english", 22): b"  No data !!!",
}


def menu_rows():
    rows = [line.split("|") for line in TABLE.strip().splitlines()]
    for n in range(1, 9):
        rows.append(["l"] + [text.format(n) for text in LEVEL_FAMILY])
    while len(rows) < ENTRY_COUNT:
        index = len(rows)
        rows.append(["lcr"[index % 3]] + [text.format(index) for text in OPTION_FAMILY])
    for row in rows:
        if len(row) != 7:
            sys.exit("generate.py: malformed table row: %r" % (row,))
    return rows


def pad(raw, align, width):
    """Pads to the display field; `width` counts bytes, or characters for the UTF-8 lines."""
    gap = width - len(raw)
    if align == "n" or gap <= 0:
        return raw
    if align == "r":
        return b" " * gap + raw
    if align == "l":
        return raw + b" " * gap
    return b" " * (gap // 2) + raw + b" " * (gap - gap // 2)


def encode_entry(language, index, row, column, encoding):
    text = row[column]
    if language == "italian" and index in ITALIAN_UTF8_ENTRIES:
        # Padded by characters as the translator saw them, so the line is longer in bytes.
        raw = text.encode("utf-8")
        return pad(raw, row[0], FIELD + len(raw) - len(text))
    return pad(text.encode(encoding), row[0], FIELD)


def language_table(language, column, encoding, rows):
    return b"".join(encode_entry(language, i, row, column, encoding) + b"\n"
                    for i, row in enumerate(rows))


def languages_readme(rows):
    def where(english):
        return next(i for i, row in enumerate(rows) if row[1] == english)
    return (
        "# Menu language tables\n\n"
        "Generated by `python3 data/generate.py`; do not edit by hand.\n\n"
        "Each `.tbl` holds %d entries, each entry's bytes followed by one 0x0A byte (so %d lines).\n"
        "An entry is 2 to 15 bytes, never contains 0x00 or 0x0A, and most are padded with spaces to\n"
        "13 bytes (right-aligned commands, centred titles, left-aligned labels). Entry n means the\n"
        "same thing in every language. The end-of-table entry the scanner expects is not stored.\n\n"
        "| file | encoding |\n| --- | --- |\n"
        "| english, french, italian, spanish | cp1252 |\n"
        "| korean | EUC-KR |\n"
        "| japanese | Shift-JIS, some entries in half-width katakana |\n\n"
        "Italian entries %d and %d carry their accented letters as UTF-8 byte pairs inside the\n"
        "cp1252 table, as the translation was delivered.\n\n"
        "| index | English entry |\n| --- | --- |\n"
        "| 0 | `         Exit` (French `       Retour`, Italian `         Esci`, Spanish `        Salir`) |\n"
        "| %d | `     Top Menu` |\n"
        "| 2 | French `Param. D\u00e9faut` (\u00e9 is the single byte 0xE9) |\n"
        "| %d | `    Scan     ` |\n"
        "| %d | `  No data !!!` |\n"
        % (ENTRY_COUNT, ENTRY_COUNT, ITALIAN_UTF8_ENTRIES[0], ITALIAN_UTF8_ENTRIES[1],
           where("Top Menu"), where("Scan"), where("No data !!!")))


# ---------------------------------------------------------------------------------------------
# Fonts
# ---------------------------------------------------------------------------------------------
#
# Layout: "RFNT", cell height, full-width cell width, range count (u16 LE), then per range its
# first code and glyph count (u16 LE each); the glyphs follow range by range, in the code order of
# the font's encoding. Codes below 0x100 are half-width 8x16 cells (16 bytes), the others 16x16
# (32 bytes); each row is packed most significant bit leftmost.

FONTS = {
    "korean.fnt": (70500, [(0x0020, 95), (0xA1A1, 188), (0xB0A1, 1967)]),
    "japanese.fnt": (224864, [(0x0020, 95), (0x00A1, 63), (0x8140, 188), (0x829F, 83),
                              (0x8340, 86), (0x889F, 6590)]),
}
CELL = 16


def glyph(code, width):
    """A few strokes chosen from the code: blank where a font has a space, ink elsewhere."""
    rows = [0] * CELL
    if code not in (0x20, 0x8140):
        state = (code * 2654435761) & 0xFFFFFFFF

        def rand(n):
            nonlocal state
            state = (state * 1103515245 + 12345) & 0x7FFFFFFF
            return (state >> 16) % n

        span = width - 2
        for _ in range(2 + rand(4)):
            kind = rand(3)
            if kind == 0:                                   # horizontal stroke
                y, x0 = 2 + rand(CELL - 4), 1 + rand(span // 2)
                x1 = x0 + 1 + rand(span - (x0 - 1) - 1)
                for x in range(x0, x1 + 1):
                    rows[y] |= 1 << (width - 1 - x)
            elif kind == 1:                                 # vertical stroke
                x, y0 = 1 + rand(span), 1 + rand(CELL // 2)
                for y in range(y0, y0 + 3 + rand(CELL - 2 - y0 - 2)):
                    rows[y] |= 1 << (width - 1 - x)
            else:                                           # diagonal stroke
                x, y = 1 + rand(span), 2 + rand(4)
                step = 1 if x < width // 2 else -1
                while 1 <= x <= span and y < CELL - 1:
                    rows[y] |= 1 << (width - 1 - x)
                    x, y = x + step, y + 1
    return b"".join(r.to_bytes(width // 8, "big") for r in rows)


def font(ranges):
    out = bytearray(b"RFNT" + bytes([CELL, 16]) + struct.pack("<H", len(ranges)))
    for first, count in ranges:
        out += struct.pack("<HH", first, count)
    for first, count in ranges:
        width = 8 if first < 0x100 else 16
        for i in range(count):
            out += glyph(first + i, width)
    return bytes(out)


# ---------------------------------------------------------------------------------------------
# Output and checks
# ---------------------------------------------------------------------------------------------

DATA_README = """# Carried data

These files are embedded into the program at build time (see `CMakeLists.txt` here).

- `firmware/M307_200_A7UG.bin`: the stand-in firmware image the program carries: a 5120-byte
  bootloader area, the 16-byte `$$RDQ` header (length and CRC left zero, filled in at run time),
  then the body.
- `languages/*.tbl`: the six menu language tables uploaded to the scanner; see
  `languages/README.md`.
- `fonts/korean.fnt`, `fonts/japanese.fnt`: the bitmap fonts uploaded with the Korean and
  Japanese tables.

Not embedded: `catalogue/`, a demo firmware catalogue for a mixed fleet (`orvexa-cli --firmware
data/catalogue`): the carried RDQ200 image, a model-18 J edition image (`M305_180JA7UG`), another
RDQ200 variant (`M307_200_B1XX`), a framed-family container for the RDQ500 (`U500_500_B2WW`), and the
`SHA256SUMS` that lists them as `sha256sum` writes it.

All of them are generated by `python3 data/generate.py` and committed; the script writes the same
bytes on every run and checks its own output.
"""


def outputs():
    rows = menu_rows()
    files = {os.path.join("firmware", FIRMWARE_NAME): firmware_image()}
    for language, column, encoding in LANGUAGES:
        files[os.path.join("languages", language + ".tbl")] = language_table(
            language, column, encoding, rows)
    for name, (_, ranges) in FONTS.items():
        files[os.path.join("fonts", name)] = font(ranges)
    files[os.path.join("languages", "README.md")] = languages_readme(rows).encode("utf-8")
    files["README.md"] = DATA_README.encode("utf-8")
    sums = ""
    for name, image in sorted(catalogue_images().items()):
        files[os.path.join("catalogue", name)] = image
        sums += hashlib.sha256(image).hexdigest() + "  " + name + "\n"
    files[os.path.join("catalogue", "SHA256SUMS")] = sums.encode("ascii")
    return files


def check_firmware(image, fail):
    if len(image) != FIRMWARE_SIZE:
        fail("firmware is %d bytes, want %d" % (len(image), FIRMWARE_SIZE))
    if image.startswith(b"UPDATE"):
        fail("firmware must not look like a framed UPDATE container")
    if image[BOOT_SIZE:BOOT_SIZE + 16] != HEADER:
        fail("firmware header at %d is %r" % (BOOT_SIZE, image[BOOT_SIZE:BOOT_SIZE + 16]))
    if image.count(b"$$RDQ") != 1:
        fail("firmware holds the header marker %d times" % image.count(b"$$RDQ"))
    for name, part in (("bootloader", image[:BOOT_SIZE]), ("body", image[BOOT_SIZE + 16:])):
        if len(set(part)) < 200:
            fail("firmware %s is too uniform" % name)
    if BANNER not in image:
        fail("firmware lacks its version banner")


def check_table(language, encoding, table, fail):
    if not table.endswith(b"\n"):
        fail("%s: table does not end with 0x0A" % language)
    entries = table[:-1].split(b"\n")
    if len(entries) != ENTRY_COUNT:
        fail("%s: %d entries, want %d" % (language, len(entries), ENTRY_COUNT))
    for i, entry in enumerate(entries):
        if not MIN_ENTRY <= len(entry) <= MAX_ENTRY:
            fail("%s[%d]: %d bytes: %r" % (language, i, len(entry), entry))
        if b"\x00" in entry:
            fail("%s[%d] contains 0x00" % (language, i))
        utf8 = language == "italian" and i in ITALIAN_UTF8_ENTRIES
        try:
            text = entry.decode("utf-8" if utf8 else encoding)
        except UnicodeDecodeError:
            fail("%s[%d] is not valid %s: %r" % (language, i, encoding, entry))
            continue
        if utf8 and text.isascii():
            fail("%s[%d] should carry UTF-8 accented letters" % (language, i))
    if sum(len(e) == FIELD for e in entries) * 2 <= len(entries):
        fail("%s: most entries should fill the %d-byte field" % (language, FIELD))
    if language == "japanese":
        text = b"".join(entries).decode(encoding)
        if not any("\uff61" <= ch <= "\uff9f" for ch in text):
            fail("japanese table has no half-width katakana")
    for (lang, index), want in EXACT_ENTRIES.items():
        if lang == language and (index >= len(entries) or entries[index] != want):
            fail("%s[%d] is not %r" % (language, index, want))


def check_font(name, data, fail):
    size, ranges = FONTS[name]
    if len(data) != size:
        fail("%s is %d bytes, want %d" % (name, len(data), size))
    if data[:4] != b"RFNT" or struct.unpack_from("<H", data, 6)[0] != len(ranges):
        fail("%s has a bad header" % name)
    if len(set(data[8 + 4 * len(ranges):])) < 64:
        fail("%s glyphs look uniform" % name)


def main():
    files = outputs()
    for path, data in files.items():
        full = os.path.join(HERE, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as f:
            f.write(data)

    errors = []
    fail = errors.append

    def written(path):
        with open(os.path.join(HERE, path), "rb") as f:
            return f.read()

    check_firmware(written(os.path.join("firmware", FIRMWARE_NAME)), fail)
    for name, image in catalogue_images().items():
        if name.startswith("M") and written(os.path.join("catalogue", name))[BOOT_SIZE:BOOT_SIZE + 5] != b"$$RDQ":
            fail("catalogue/%s lacks the classic header" % name)
        if name.startswith("U") and not written(os.path.join("catalogue", name)).startswith(b"UPDATE"):
            fail("catalogue/%s is no framed container" % name)
    if written(os.path.join("catalogue", "M307_200_A7UG.bin")) != written(os.path.join("firmware", FIRMWARE_NAME)):
        fail("the catalogue's RDQ200 A7UG image is not the carried one")
    for language, _, encoding in LANGUAGES:
        check_table(language, encoding, written(os.path.join("languages", language + ".tbl")), fail)
    for name in FONTS:
        check_font(name, written(os.path.join("fonts", name)), fail)

    for error in errors:
        print("generate.py: " + error, file=sys.stderr)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
