#include "db/ArchiveTables.h"

using namespace Qt::StringLiterals;

namespace db::schema {

QList<TableSpec> archiveTables()
{
    using enum ColumnType;
    return {
        {u"orgao"_s,
         {{u"nome"_s, Text, 50},
          {u"cnpj"_s, Text, 14},
          {u"endereco"_s, Text, 50},
          {u"bairro"_s, Text, 50},
          {u"cidade"_s, Text, 50},
          {u"uf"_s, Text, 2},
          {u"tel"_s, Text, 10},
          {u"tel1"_s, Text, 10},
          {u"email"_s, Text, 100},
          {u"url"_s, Text, 100},
          {u"resp1"_s, Text, 50},
          {u"cargo1"_s, Text, 50},
          {u"resp2"_s, Text, 50},
          {u"cargo2"_s, Text, 50},
          {u"logomarca"_s, Blob}},
         {}},
        {u"processo"_s,
         {{u"cod"_s, Text, 5, true},
          {u"descricao"_s, Text, 50},
          {u"numero"_s, Text, 5},
          {u"data"_s, Date},
          {u"num_doc"_s, Int16}},
         {u"cod"_s}},
        {u"tipo_arq"_s,
         {{u"cod"_s, Text, 5},
          // The entry sets no limit; 255 is the longest text column the old engine had.
          {u"descricao"_s, Text, 255}},
         {u"cod"_s}},
        {u"documento"_s,
         {{u"cod"_s, Text, 5, true},
          {u"processo"_s, Text, 5, true},
          {u"tp_doc"_s, Text, 5},
          {u"descricao"_s, Text, 50},
          {u"ementa"_s, LongText},
          {u"palavras_chave"_s, LongText},
          {u"data"_s, Date},
          {u"data_arquivamento"_s, Date},
          {u"n_laudas"_s, Integer},
          {u"localidade"_s, Text, 20},
          {u"parteleira"_s, Text, 5},
          {u"gaveta"_s, Text, 5},
          {u"pasta"_s, Text, 5}},
         {u"processo"_s, u"cod"_s}},
    };
}

} // namespace db::schema
