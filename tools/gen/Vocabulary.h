#pragma once
// What a municipal archive in Brazil holds: the words the texts are made of.
#include <span>
#include <string_view>

namespace gen {

using std::string_view;


using Words = std::span<const string_view>;

inline constexpr string_view kFirstNames[] = {
    "José", "Maria", "João", "Ana", "Antônio", "Francisca", "Francisco", "Antônia", "Carlos",
    "Adriana", "Paulo", "Juliana", "Pedro", "Márcia", "Lucas", "Fernanda", "Luiz", "Patrícia",
    "Marcos", "Aline", "Luís", "Sandra", "Gabriel", "Camila", "Rafael", "Amanda", "Daniel",
    "Bruna", "Marcelo", "Jéssica", "Bruno", "Letícia", "Eduardo", "Júlia", "Felipe", "Luciana",
    "Raimundo", "Vanessa", "Rodrigo", "Mariana", "Sebastião", "Conceição", "Benedito", "Lúcia",
    "Geraldo", "Aparecida", "Joaquim", "Terezinha", "Sérgio", "Rosângela", "Cícero", "Fátima",
    "Edson", "Graça", "Irene", "Otávio", "Cláudio", "Simone", "Vitória", "Heitor", "Inês",
    "Fábio", "Débora", "Valdir", "Raquel", "Wellington", "Solange", "Osvaldo", "Zilda",
    "Ubiratã", "Iracema", "Jurandir", "Moacir", "Jacira", "Aurélio", "Domingos", "Expedito",
};

inline constexpr string_view kSurnames[] = {
    "Silva", "Santos", "Oliveira", "Souza", "Rodrigues", "Ferreira", "Alves", "Pereira", "Lima",
    "Gomes", "Costa", "Ribeiro", "Martins", "Carvalho", "Almeida", "Lopes", "Soares",
    "Fernandes", "Vieira", "Barbosa", "Rocha", "Dias", "Nascimento", "Andrade", "Moreira",
    "Nunes", "Marques", "Machado", "Mendes", "Freitas", "Cardoso", "Ramos", "Gonçalves",
    "Santana", "Teixeira", "Araújo", "Simões", "Magalhães", "Conceição", "Brandão", "Assunção",
    "Loureiro", "Falcão", "Guimarães", "Patrício", "Jesus", "Bezerra", "Cavalcanti", "Aragão",
    "Monteiro", "Queiroz", "Sá", "Tavares", "Paixão", "Romão", "Leão", "Damião", "Estêvão",
};

inline constexpr string_view kDistricts[] = {
    "Centro", "São José", "Jardim América", "Vila Nova", "Boa Vista", "Santa Luzia",
    "Alto da Conceição", "Bela Vista", "São Cristóvão", "Nossa Senhora de Fátima",
    "Parque das Águas", "Vila Operária", "Cidade Nova", "Jardim Primavera", "Santo Antônio",
    "São Sebastião", "Planalto", "Morada do Sol", "Vila São João", "Jardim Paraíso",
    "Alto Alegre", "Recanto dos Pássaros", "Ipiranga", "Liberdade", "Independência",
    "Esplanada", "Vila Maria", "Jardim Europa", "Conjunto Habitacional Esperança",
    "Loteamento Bom Jesus", "Aeroporto", "Estação", "Matadouro", "Cruzeiro", "Várzea Grande",
};

inline constexpr string_view kStreets[] = {
    "Tiradentes", "Sete de Setembro", "Dom Pedro II", "Marechal Deodoro", "Barão do Rio Branco",
    "Padre Cícero", "XV de Novembro", "Getúlio Vargas", "Santos Dumont", "Duque de Caxias",
    "Rui Barbosa", "Floriano Peixoto", "José de Alencar", "Castro Alves", "Princesa Isabel",
    "Treze de Maio", "Visconde de Mauá", "Coronel Antônio Sá", "Frei Damião", "São João",
    "das Flores", "das Acácias", "dos Ipês", "Independência", "Monsenhor Tabosa", "Pio XII",
    "Juscelino Kubitschek", "Joaquim Nabuco", "Maestro Villa-Lobos", "Cândido Rondon",
};

inline constexpr string_view kRuralPlaces[] = {
    "Sítio Caiçara", "Fazenda Boa Esperança", "Comunidade Lagoa Seca", "Povoado Riacho Fundo",
    "Assentamento Nova Canaã", "Distrito de Pau-d'Arco", "Vila de São Bento", "Sítio Olho d'Água",
    "Comunidade Serra Verde", "Povoado Barra do Jacaré", "Distrito de Jatobá",
};

inline constexpr string_view kSecretariats[] = {
    "Obras e Urbanismo", "Saúde", "Educação", "Administração", "Finanças", "Meio Ambiente",
    "Agricultura", "Assistência Social", "Cultura e Turismo", "Esportes e Lazer", "Planejamento",
    "Transportes", "Habitação", "Infraestrutura", "Recursos Humanos", "Indústria e Comércio",
};

inline constexpr string_view kPosts[] = {
    "Secretário Municipal", "Diretor de Departamento", "Chefe de Divisão", "Assessor Técnico",
    "Auxiliar Administrativo", "Professor de Educação Básica", "Agente Comunitário de Saúde",
    "Engenheiro Civil", "Motorista", "Vigilante", "Enfermeiro", "Médico Plantonista",
    "Procurador Municipal", "Contador", "Fiscal de Tributos", "Merendeira", "Gari", "Tesoureiro",
};

inline constexpr string_view kServices[] = {
    "execução de obras de pavimentação asfáltica {lugar}",
    "reforma e ampliação da Escola Municipal {pessoa}",
    "construção de unidade básica de saúde {lugar}",
    "fornecimento de merenda escolar à rede municipal de ensino",
    "coleta de lixo e limpeza urbana",
    "transporte escolar na zona rural",
    "manutenção da iluminação pública {lugar}",
    "perfuração de poço artesiano {rural}",
    "drenagem de águas pluviais {lugar}",
    "recuperação de estradas vicinais",
    "elaboração do plano diretor municipal",
    "locação de veículos para a Secretaria de {secretaria}",
    "vigilância patrimonial dos prédios públicos",
    "capina, roçagem e poda de árvores {lugar}",
    "construção de passagem molhada {rural}",
    "calçamento em paralelepípedo {lugar}",
    "reforma do mercado público municipal",
    "instalação de rede de esgotamento sanitário {lugar}",
    "assessoria contábil ao município",
    "realização de concurso público para provimento de cargos efetivos",
    "construção de praça pública {lugar}",
    "manutenção preventiva e corretiva da frota municipal",
};

inline constexpr string_view kPayments[] = {
    "diárias a servidores em viagem a serviço",
    "horas extras aos servidores da Secretaria de {secretaria}",
    "honorários advocatícios",
    "indenização por desapropriação de imóvel {lugar}",
    "precatórios judiciais",
    "fatura de energia elétrica dos prédios públicos",
    "aluguel do imóvel {lugar}",
    "serviços prestados por {pessoa}",
    "restos a pagar do exercício de {ano}",
    "contribuições previdenciárias em atraso",
};

inline constexpr string_view kBenefits[] = {
    "licença-prêmio", "férias regulamentares", "adicional de insalubridade",
    "aposentadoria por tempo de contribuição", "auxílio-alimentação",
    "licença para tratamento de saúde", "progressão funcional", "gratificação por titulação",
    "abono de permanência", "pensão por morte", "salário-família", "licença-maternidade",
};

inline constexpr string_view kGoods[] = {
    "medicamentos", "material de expediente", "equipamentos de informática",
    "gêneros alimentícios", "combustível e lubrificantes", "uniformes escolares",
    "mobiliário escolar", "material de construção", "pneus e peças de reposição",
    "insumos hospitalares", "material de limpeza", "livros didáticos", "cestas básicas",
};

inline constexpr string_view kBodies[] = {
    "o Governo do Estado", "o Ministério da Saúde", "a Fundação Nacional de Saúde",
    "o Fundo Nacional de Desenvolvimento da Educação", "a Câmara Municipal",
    "o Tribunal de Contas do Estado", "o Ministério Público Estadual", "a Caixa Econômica Federal",
    "a Associação de Moradores {bairroDe}", "a Companhia de Água e Esgoto",
    "o Instituto Nacional do Seguro Social", "a Cooperativa Agrícola {rural}",
};

inline constexpr string_view kObjects[] = {
    "a contratação de empresa especializada para {servico}",
    "a abertura de processo licitatório, na modalidade {modalidade}, para {servico}",
    "o pagamento de {pagamento}",
    "a concessão de {beneficio} ao(à) servidor(a) {pessoa}, {cargo}",
    "a prestação de contas do convênio firmado com {orgaoExt}",
    "a cessão de uso do imóvel situado {lugar}",
    "a desapropriação, por utilidade pública, de área {lugar}",
    "a nomeação de {pessoa} para o cargo de {cargo}",
    "a exoneração, a pedido, de {pessoa} do cargo de {cargo}",
    "o convênio celebrado com {orgaoExt} para {servico}",
    "a aquisição de {material} para a Secretaria de {secretaria}",
    "a vistoria técnica realizada {lugar}",
    "a regularização fundiária dos lotes {lugar}",
    "a prorrogação do prazo de vigência do contrato nº {n}/{ano}",
    "a reclamação apresentada por {pessoa} quanto a {problema}",
    "o reajuste dos valores do contrato de {servico}",
    "a instauração de sindicância para apurar {problema}",
    "a doação de terreno {lugar} para construção de {obra}",
    "o parcelamento de débitos de IPTU de {pessoa}",
    "a emissão de alvará de construção para imóvel {lugar}",
    "o repasse de recursos a {orgaoExt}",
    "a suplementação de dotação orçamentária da Secretaria de {secretaria}",
};

inline constexpr string_view kTenders[] = {
    "pregão presencial", "pregão eletrônico", "tomada de preços", "concorrência pública",
    "convite", "dispensa de licitação", "inexigibilidade de licitação",
};

inline constexpr string_view kProblems[] = {
    "buracos na via pública", "falta de iluminação na praça", "vazamento na rede de água",
    "extravio de documentos", "atraso no pagamento de salários", "acúmulo de lixo em terreno baldio",
    "ruído excessivo de estabelecimento comercial", "danos ao patrimônio público",
    "irregularidades na merenda escolar", "construção irregular em área pública",
};

inline constexpr string_view kWorks[] = {
    "creche municipal", "quadra poliesportiva", "posto de saúde", "escola de ensino fundamental",
    "centro comunitário", "cemitério municipal", "biblioteca pública",
};

inline constexpr string_view kOpeners[] = {
    "Dispõe sobre", "Autoriza", "Solicita", "Encaminha", "Versa sobre", "Manifesta-se sobre",
    "Aprova", "Homologa", "Determina", "Requer", "Informa sobre", "Comunica", "Regulamenta",
    "Designa comissão para examinar", "Notifica o interessado sobre", "Apresenta parecer sobre",
    "Ratifica", "Registra", "Recomenda", "Indefere", "Defere",
};

inline constexpr string_view kClosings[] = {
    "Valor estimado em R$ {valor}.",
    "Prazo de execução de {dias} dias.",
    "Anexa documentação comprobatória.",
    "Com parecer favorável da Procuradoria Jurídica.",
    "Encaminhado à Secretaria de {secretaria} para as providências cabíveis.",
    "Referente ao exercício de {ano}.",
    "Publique-se no Diário Oficial do Município.",
    "Dotação orçamentária: {n}.{n}.{n}.{n}.",
    "Fiscal do contrato: {pessoa}.",
    "Processo de origem nº {n}/{ano}.",
    "Cumpra-se.",
    "Arquive-se após as anotações de praxe.",
    "Conforme Lei Municipal nº {n}/{ano}.",
    "Aguardando manifestação do interessado.",
    "Valor total de R$ {valor}, pago em {parcelas} parcelas.",
    "Cópia enviada ao Tribunal de Contas do Estado.",
};

// Words that occur in only a handful of documents.
inline constexpr string_view kRareWords[] = {
    "sambaqui", "quilombola", "sesmaria", "enfiteuse", "aforamento", "xilogravura", "paleontológico",
    "espeleologia", "carnaubal", "jequitibá", "piaçava", "taipa de pilão", "vaquejada", "marujada",
    "congado", "reisado", "cavalhada", "hanseníase", "leishmaniose", "esquistossomose",
    "escafandro", "alambique", "bolandeira", "casa de farinha", "engenho de rapadura",
    "umbuzeiro", "mandacaru", "xiquexique", "cacimba", "jangada", "pau-brasil", "igarapé",
    "palafita", "babaçu", "oiticica", "cajueiro", "juazeiro", "maracatu", "ciranda", "bumba-meu-boi",
    "repentista", "cordelista", "xilógrafo", "tipógrafo", "linotipo", "sineiro", "ourives",
    "seleiro", "tanoeiro", "ferrador", "amolador", "quitandeira", "parteira", "benzedeira",
    "barbeiro-sangrador", "pelourinho", "chafariz", "coreto", "gasômetro", "bonde elétrico",
    "zepelim", "telégrafo", "mimeógrafo", "datilógrafo", "estenografia", "heliografia",
    "agrimensura", "hidrômetro", "pluviômetro", "sismógrafo", "anemômetro", "quimono",
    "azulejaria", "cantaria", "estuque", "muxarabi", "platibanda", "clarabóia", "alpendre",
};

inline constexpr string_view kRareSentences[] = {
    "Observação: consta menção a {raro} no levantamento anexo.",
    "Registra-se a presença de {raro} na área vistoriada.",
    "Inclui inventário de {raro} do acervo municipal.",
    "Ver também o laudo sobre {raro}.",
};

inline constexpr string_view kKeywords[] = {
    "licitação", "pregão", "obras", "pavimentação", "saúde", "educação", "merenda escolar",
    "transporte escolar", "servidor público", "férias", "aposentadoria", "convênio",
    "prestação de contas", "orçamento", "tributos", "IPTU", "ISS", "meio ambiente", "saneamento",
    "iluminação pública", "desapropriação", "patrimônio", "contrato", "termo aditivo", "empenho",
    "diárias", "folha de pagamento", "concurso público", "nomeação", "exoneração",
    "Câmara Municipal", "Procuradoria", "Defesa Civil", "assistência social", "habitação",
    "cultura", "esporte", "turismo", "agricultura", "frota", "combustível", "almoxarifado",
    "informática", "limpeza urbana", "drenagem", "água", "esgoto", "estradas vicinais",
    "alvará", "fiscalização", "sindicância", "regularização fundiária", "doação", "cessão de uso",
    "Tribunal de Contas", "Ministério Público", "recursos humanos", "previdência", "dívida ativa",
    "precatórios", "medicamentos", "creche", "escola", "posto de saúde", "zona rural",
};

// Document kinds, their qualifiers and the sectors that issue them (upper case, as entered).
inline constexpr string_view kKinds[] = {
    "OFÍCIO", "MEMORANDO", "PORTARIA", "DECRETO", "CONTRATO", "TERMO ADITIVO", "CONVÊNIO",
    "ATA", "PARECER", "NOTA FISCAL", "NOTA DE EMPENHO", "REQUERIMENTO", "CERTIDÃO", "LAUDO",
    "EDITAL", "PLANTA", "RELATÓRIO", "DESPACHO", "NOTIFICAÇÃO", "RECIBO", "ALVARÁ", "LICENÇA",
    "PROJETO", "LEI", "RESOLUÇÃO", "INSTRUÇÃO NORMATIVA", "ORDEM DE SERVIÇO", "PROCURAÇÃO",
    "DECLARAÇÃO", "ATESTADO", "COMUNICADO", "CIRCULAR", "PROTOCOLO", "ORÇAMENTO", "PLANILHA",
    "MAPA", "FOTOGRAFIA", "TERMO DE REFERÊNCIA", "TERMO DE POSSE", "CONTRACHEQUE", "GUIA",
    "BOLETIM", "EXTRATO", "FATURA", "DIÁRIO OFICIAL", "MANDADO", "SENTENÇA", "PETIÇÃO",
    "ACÓRDÃO", "AUTO DE INFRAÇÃO", "TERMO DE COMPROMISSO", "ESCRITURA", "MATRÍCULA", "CROQUI",
    "MEMORIAL DESCRITIVO", "CRONOGRAMA", "BALANCETE", "NOTA TÉCNICA", "INFORMAÇÃO", "REQUISIÇÃO",
};

inline constexpr string_view kQualifiers[] = {
    "", "CIRCULAR", "INTERNO", "EXTERNO", "RESERVADO", "URGENTE", "SIMPLES", "COMPLEMENTAR",
    "RETIFICADOR", "DE ENCAMINHAMENTO", "DE RESPOSTA", "ORIGINAL", "CÓPIA AUTENTICADA", "2ª VIA",
    "PRELIMINAR", "FINAL", "ANUAL", "MENSAL", "TRIMESTRAL", "SUBSTITUTIVO", "DE GESTÃO",
    "TÉCNICO", "JURÍDICO", "FINANCEIRO", "CONTÁBIL",
};

inline constexpr string_view kSectors[] = {
    "GABINETE DO PREFEITO", "SEC. DE OBRAS", "SEC. DE SAÚDE", "SEC. DE EDUCAÇÃO",
    "SEC. DE ADMINISTRAÇÃO", "SEC. DE FINANÇAS", "SEC. DE MEIO AMBIENTE", "SEC. DE AGRICULTURA",
    "SEC. DE ASSISTÊNCIA SOCIAL", "SEC. DE CULTURA", "SEC. DE ESPORTES", "SEC. DE PLANEJAMENTO",
    "SEC. DE TRANSPORTES", "SEC. DE HABITAÇÃO", "PROCURADORIA GERAL", "CONTROLADORIA",
    "TESOURARIA", "CONTABILIDADE", "ALMOXARIFADO", "PROTOCOLO GERAL", "RECURSOS HUMANOS",
    "DEFESA CIVIL", "VIGILÂNCIA SANITÁRIA", "CONSELHO TUTELAR", "GUARDA MUNICIPAL",
    "CÂMARA MUNICIPAL", "JUNTA MILITAR", "ARQUIVO PÚBLICO", "HOSPITAL MUNICIPAL",
    "FUNDO MUN. DE SAÚDE", "FUNDEB", "CONSELHO DE EDUCAÇÃO", "COMISSÃO DE LICITAÇÃO",
    "OUVIDORIA", "SETOR DE TRIBUTOS", "SETOR DE PATRIMÔNIO", "SETOR DE COMPRAS",
    "COORD. DE VIGILÂNCIA", "COORD. DE ATENÇÃO BÁSICA", "CRAS", "CREAS", "SAAE", "IPREV",
    "DEPTO. DE ESTRADAS", "DEPTO. DE TRÂNSITO",
};

inline constexpr string_view kProcessThemes[] = {
    "LICITAÇÃO Nº {n}/{ano} - {KIND}", "PREGÃO PRESENCIAL Nº {n}/{ano}",
    "TOMADA DE PREÇOS Nº {n}/{ano}", "APOSENTADORIA - {PESSOA}", "PENSÃO - {PESSOA}",
    "OBRA: {OBRA} {BAIRRO}", "PRESTAÇÃO DE CONTAS - CONVÊNIO {n}/{ano}",
    "DESAPROPRIAÇÃO - {BAIRRO}", "CONCURSO PÚBLICO {ano}",
    "PROC. ADMINISTRATIVO DISCIPLINAR {n}/{ano}", "FOLHA DE PAGAMENTO - {MES}/{ano}",
    "PRESTAÇÃO DE CONTAS ANUAL {ano}", "LEIS MUNICIPAIS {ano}", "DECRETOS {ano}",
    "PORTARIAS DE PESSOAL {ano}", "VIDA FUNCIONAL - {PESSOA}", "ALVARÁS DE CONSTRUÇÃO {ano}",
    "REGULARIZAÇÃO FUNDIÁRIA - {BAIRRO}", "CONVÊNIO {n}/{ano} - {SETOR}", "CORRESPONDÊNCIAS {ano} - {SETOR}",
    "SINDICÂNCIA Nº {n}/{ano}", "EXECUÇÃO FISCAL - {PESSOA}", "CONTRATOS DE {ano} - {SETOR}",
};

inline constexpr string_view kMonths[] = {
    "JANEIRO", "FEVEREIRO", "MARÇO", "ABRIL", "MAIO", "JUNHO", "JULHO", "AGOSTO", "SETEMBRO",
    "OUTUBRO", "NOVEMBRO", "DEZEMBRO",
};

inline constexpr string_view kSites[] = {
    "ARQUIVO CENTRAL", "ARQUIVO GERAL", "ARQ. INTERMEDIÁRIO", "DEPÓSITO ANEXO", "SALA 12",
    "SALA 3", "ALMOXARIFADO", "PORÃO DA PREFEITURA", "GALPÃO DA SEINFRA", "GABINETE",
    "CÂMARA MUNICIPAL", "BIBLIOTECA", "PRÉDIO DO SAAE", "ARQUIVO MORTO",
};

inline constexpr string_view kCities[] = {
    "SÃO JOÃO DO RIO PEIXE", "SANTA LUZIA DO NORTE", "NOVA ESPERANÇA", "CONCEIÇÃO DAS ALAGOAS",
    "BOM JESUS DA LAPA", "SÃO BENTO DO UNA", "ITAPAGÉ", "JAGUARIBE", "CRATEÚS", "ARAPIRACA",
};

template <size_t N>
constexpr Words words(const string_view (&array)[N])
{
    return Words(array, N);
}

} // namespace gen
