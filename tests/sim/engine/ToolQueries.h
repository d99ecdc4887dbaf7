#pragma once
// The comparison queries exactly as the desktop tool sends them (lines joined by CR LF).

#include <string>
#include <vector>

namespace sqlsim::test {

inline std::string joinLines(const std::vector<std::string> &lines)
{
    std::string out;
    for (const std::string &l : lines) out += l + "\r\n";
    return out;
}

inline std::string remoteDbPrefix(const std::string &server, const std::string &user, const std::string &password,
                                  const std::string &db)
{
    return "OPENDATASOURCE('SQLOLEDB','Data Source=" + server + ";User ID=" + user + ";Password=" + password + "')." + db;
}

// The view and procedure difference query; s is the remote schema prefix, t the target database.
inline std::string viewQuery(const std::string &s, const std::string &t)
{
    return joinLines({
        "select 类型=case isnull(a.xtype,b.xtype) when 'V' then '视图' else '存储过程' end ",
        ",匹配情况=case    ",
        "when a.name is null then '源无' ",
        "when b.name is null then '目标无'  ",
        "else '结构不同' end      ",
        ",对象名称=isnull(a.name,b.name),a.text as atext, b.text as btext   ",
        "from(                           ",
        "select a.name,a.xtype,b.colid,b.text    ",
        "from " + s + "sysobjects a," + s + "syscomments b    ",
        "where a.id=b.id and a.xtype in('V','P') and a.status>=0   ",
        ")a full join(                                       ",
        "select a.name,a.xtype,b.colid,b.text               ",
        "from [" + t + "]..sysobjects a,[" + t + "]..syscomments b  ",
        "where a.id=b.id and a.xtype in('V','P') and a.status>=0   ",
        ")b on a.name=b.name and a.xtype=b.xtype and a.colid=b.colid   ",
        "where a.name is null      ",
        "or b.name is null  ",
        "or isnull(a.text,'') <>isnull(b.text,'')   ",
    });
}

// The column comparison query (refresh: the form re-run after synchronising).
inline std::string columnQuery(const std::string &s, const std::string &d, const std::string &t, bool refresh = false)
{
    const std::string test1 = "not exists(select 1 from " + s + "sysobjects where xtype='U' and name=b.表名2)";
    const std::string test2 = "not exists(select 1 from " + t + ".dbo.sysobjects where xtype='U' and name=a.表名1)";
    return joinLines({
        "select 比较结果=case when a.表名1 is null and " + test1 + " then '1' ",
        "when b.表名2 is null and " + test2 + " then '2'                ",
        "when a.字段名 is null then '3' ",
        "when b.字段名 is null  then '4'  ",
        "when a.标识 <>b.标识 then '10'     ",
        "when a.类型 <>b.类型 then '5' ",
        "when a.允许空 <>b.允许空 then '5'  ",
        "when a.占用字节数 <>b.占用字节数 then '5'  ",
        "when a.长度 <>b.长度 then '5'    ",
        "when a.小数位数 <>b.小数位数 then '9'  ",
        "when a.默认值 <>b.默认值 then '8' ",
        "when a.字段说明 <>b.字段说明 then ' 字段说明不同 '  ",
        "when a.主键 <>b.主键 then '6'  ",
        "when a.外键 <>b.外键2 then '7'  ",
        "else '' end,  ",
        "*",
        "from (SELECT  ",
        refresh ? "表名1=d.name,字段名=a.name,外键=h.name ,主键名=i.name, "
                : "表名1=d.name,字段名=a.name,外键=h.name ,序号=a.colid,主键名=i.name, ",
        "标识=case when a.status=0x80 then 1 else 0 end,  ",
        "主键=case when exists(SELECT 1 FROM " + s + "sysobjects where xtype='PK' and parent_obj=a.id and name in (   ",
        "SELECT name FROM " + s + "sysindexes WHERE indid in(                      ",
        refresh ? "SELECT indid FROM " + s + "sysindexkeys WHERE id = a.id AND colid=a.colid    "
                : "SELECT indid FROM " + s + "sysindexkeys WHERE id = a.id AND colid=a.colid  ",
        "))) then 1 else 0 end,                                                           ",
        "类型=b.name,占用字节数=a.length,长度=a.prec,小数位数=a.scale,允许空=a.isnullable,  ",
        "默认值=isnull(e.text,''),字段说明=isnull(g.[value],'')           ",
        "FROM " + s + "syscolumns a                                  ",
        "left join " + s + "systypes b on a.xtype=b.xusertype       ",
        "inner join " + s + "sysobjects d on a.id=d.id  and d.xtype='U' and  d.name <>' dtproperties '   ",
        "left join " + s + "sysobjects I on a.id=I.parent_obj  and I.xtype='PK'   ",
        "left join " + s + "syscomments e on a.cdefault=e.id   ",
        " left join  " + d + ".sys.sysforeignkeys f on f.fkeyid=a.id  ",
        "left join  " + d + ".sys.objects h on f.constid=h.object_id       ",
        "left join " + d + ".sys.extended_properties g        ",
        "ON             ",
        "a.ID=g.major_id AND a.COLID=g.minor_id    ",
        ") a       ",
        "full join (SELECT        ",
        refresh ? "表名2=d.name,字段名=a.name,外键2=h.name,主键名2=i.name, "
                : "表名2=d.name,字段名=a.name,外键2=h.name,序号=a.colid,主键名2=i.name, ",
        "标识=case when a.status=0x80 then 1 else 0 end,    ",
        "主键=case when exists(SELECT 1 FROM " + t + ".dbo.sysobjects where xtype='PK' and parent_obj=a.id and name in (  ",
        "SELECT name FROM " + t + ".dbo.sysindexes WHERE indid in(     ",
        refresh ? "SELECT indid FROM " + t + ".dbo.sysindexkeys WHERE id = a.id AND colid=a.colid      "
                : "SELECT indid FROM " + t + ".dbo.sysindexkeys WHERE id = a.id AND colid=a.colid    ",
        "))) then 1 else 0 end,                                                        ",
        "类型=b.name,占用字节数=a.length,长度=a.prec,小数位数=a.scale,允许空=a.isnullable,  ",
        "默认值=isnull(e.text,''),字段说明=isnull(g.[value],'')          ",
        "FROM " + t + ".dbo.syscolumns a                              ",
        "left join " + t + ".dbo.systypes b on a.xtype=b.xusertype    ",
        "inner join " + t + ".dbo.sysobjects d on a.id=d.id  and d.xtype='U' and  d.name <>' dtproperties '   ",
        "left join " + t + ".dbo.sysobjects I on a.id=I.parent_obj  and I.xtype='PK'   ",
        "left join " + t + ".dbo.syscomments e on a.cdefault=e.id    ",
        " left join  " + t + ".sys.sysforeignkeys f on f.fkeyid=a.id   ",
        "left join  " + t + ".sys.objects h on f.constid=h.object_id          ",
        "left join " + t + ".sys.extended_properties g       ",
        "ON                                    ",
        "a.ID=g.major_id AND a.COLID=g.minor_id    ",
        ") b on a.表名1=b.表名2 and a.字段名=b.字段名    ",
        "where a.表名1 is null or a.字段名 is null or b.表名2 is null or b.字段名 is null   ",
        "or a.标识 <>b.标识 or a.主键 <>b.主键 or a.类型 <>b.类型             ",
        "or a.占用字节数 <>b.占用字节数 or a.长度 <>b.长度 or a.小数位数 <>b.小数位数   ",
        "or a.允许空 <>b.允许空 or a.默认值 <>b.默认值 or a.字段说明 <>b.字段说明   ",
        refresh ? "order by isnull(a.表名1,b.表名2)   " : "order by isnull(a.表名1,b.表名2),isnull(a.序号,b.序号)   ",
    });
}

}  // namespace sqlsim::test
